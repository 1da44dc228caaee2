# The roll-out tests run vantelo-cli itself.
if(TARGET tst_cli)
  add_dependencies(tst_cli vantelo-cli)
endif()
