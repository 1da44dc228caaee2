# Stand-ins for the pair driver library, used by tst_portpairs: a fake whose answers
# the test sets through the environment, and a library without the two entry points.
if(TARGET tst_portpairs AND TARGET vspdctl)
  find_package(Threads REQUIRED)
  foreach(_kind fake empty)
    add_library(vspdctl_${_kind} SHARED ${CMAKE_CURRENT_LIST_DIR}/portpairs/${_kind}driver.cpp)
    set_target_properties(vspdctl_${_kind} PROPERTIES
      CXX_VISIBILITY_PRESET hidden
      AUTOMOC OFF AUTOUIC OFF AUTORCC OFF
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/portpairs-drivers)
  endforeach()
  target_link_libraries(vspdctl_fake PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
  add_dependencies(tst_portpairs vspdctl vspdctl_fake vspdctl_empty)
  target_compile_definitions(tst_portpairs PRIVATE
    VSPD_REAL_DRIVER="$<TARGET_FILE:vspdctl>"
    VSPD_FAKE_DRIVER="$<TARGET_FILE:vspdctl_fake>"
    VSPD_EMPTY_DRIVER="$<TARGET_FILE:vspdctl_empty>")
endif()
