# Every text of the code and the forms is in the translations and translated, and no
# translation is left of a text the code no longer has (see tests/check-translations.sh).
foreach(_ts ${VANTELO_TS_FILES})
  get_filename_component(_name ${_ts} NAME_WE)
  add_test(NAME translations_complete_${_name}
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/check-translations.sh $<TARGET_FILE:Qt5::lupdate>
            ${_ts} ${VANTELO_TRANSLATED_DIRS})
  set_tests_properties(translations_complete_${_name} PROPERTIES LABELS unit TIMEOUT 120)
endforeach()
add_dependencies(tst_languagesetting vantelo_translations)
