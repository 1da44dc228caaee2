# The demo's VNC screen and its User.ini update (scripts under devkit/).
add_test(NAME demo_helpers COMMAND bash ${CMAKE_SOURCE_DIR}/tests/demo-check.sh)
set_tests_properties(demo_helpers PROPERTIES LABELS integration TIMEOUT 120)
