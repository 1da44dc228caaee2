# The samples test runs the generator itself; make sure it is built first.
if(TARGET tst_labsamples AND TARGET lab-samples)
  add_dependencies(tst_labsamples lab-samples)
endif()
