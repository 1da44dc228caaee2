# Windows code is checked with the mingw-w64 compiler (syntax only), and a second test
# proves that the check really compiles the Windows code.
find_program(VANTELO_MINGW_CXX x86_64-w64-mingw32-g++)
if(VANTELO_MINGW_CXX)
  get_target_property(_qt_core_inc Qt5::Core INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_serial_inc Qt5::SerialPort INTERFACE_INCLUDE_DIRECTORIES)
  set(_mingw_includes ${_qt_core_inc} ${_qt_serial_inc} ${CMAKE_SOURCE_DIR}/core/common)
  list(REMOVE_DUPLICATES _mingw_includes)
  # The sources of core/ports as a Windows build takes them (core/sources.cmake).
  set(_mingw_sources ${VANTELO_PORTS_SOURCES} ${VANTELO_PORTS_WIN_SOURCES})
  list(FILTER _mingw_sources INCLUDE REGEX "\\.cpp$")
  add_test(NAME mingw_syntax
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../mingw-check.sh
            ${VANTELO_MINGW_CXX} ${_mingw_includes} -- ${_mingw_sources})
  add_test(NAME mingw_syntax_sees_windows_code
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../mingw-check.sh --expect-break
            ${VANTELO_MINGW_CXX} ${_mingw_includes} -- ${_mingw_sources})
  set_tests_properties(mingw_syntax mingw_syntax_sees_windows_code PROPERTIES
    LABELS unit TIMEOUT 300)
else()
  message(STATUS "x86_64-w64-mingw32-g++ not found: the Windows syntax check is skipped")
endif()
