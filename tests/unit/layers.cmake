# The layers of the product on its #include lines (see tests/check-includes.sh), and a
# second test that proves the check finds an include against them.
add_test(NAME include_layers
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/check-includes.sh ${CMAKE_SOURCE_DIR})
add_test(NAME include_layers_sees_breaks
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/check-includes.sh --expect-break ${CMAKE_SOURCE_DIR})
set_tests_properties(include_layers include_layers_sees_breaks PROPERTIES LABELS unit TIMEOUT 120)
