# Install layout (GNUInstallDirs), in two components:
#   vantelo  the program and vantelo-cli in bin/; libvspdctl.so in the program's private
#            library folder lib/.../vantelo, where the program looks for it; the
#            translations, desktop entry, icon and manual pages
#   lab      the panel lab: its programs and launcher in libexec/vantelo-lab, started
#            by bin/vantelo-lab; its sample configuration and sample files in
#            share/vantelo-lab
# Manual pages and changelogs are installed plain and compressed at the end of the
# installation (gzip -9n), so that a page installed by any folder is compressed too.

install(TARGETS vantelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT vantelo)
if(TARGET vantelo-cli)
  install(TARGETS vantelo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT vantelo)
  # Its manual page, written from its help text into its build folder.
  get_target_property(_cli_build_dir vantelo-cli BINARY_DIR)
  install(FILES ${_cli_build_dir}/vantelo-cli.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT vantelo)
endif()
if(TARGET vspdctl)
  install(TARGETS vspdctl LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/vantelo
    NAMELINK_SKIP COMPONENT vantelo)
endif()
# Translations: every .qm the build puts beside the program, in translations/.
install(DIRECTORY ${VANTELO_BIN_DIR}/translations/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vantelo/translations
  COMPONENT vantelo OPTIONAL FILES_MATCHING PATTERN "*.qm")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantelo.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT vantelo)
install(FILES ${CMAKE_SOURCE_DIR}/gui/resources/vantelo.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps COMPONENT vantelo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantelo.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT vantelo)

if(TARGET lab-cloud)
  set(_lab_libexec ${CMAKE_INSTALL_LIBEXECDIR}/vantelo-lab)
  foreach(_lab_program lab-cloud lab-relay lab-panel lab-samples)
    if(TARGET ${_lab_program})
      install(TARGETS ${_lab_program} RUNTIME DESTINATION ${_lab_libexec} COMPONENT lab)
    endif()
  endforeach()
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/devkit/lab ${CMAKE_SOURCE_DIR}/devkit/set-base-url
    DESTINATION ${_lab_libexec} COMPONENT lab)
  install(FILES ${CMAKE_SOURCE_DIR}/devkit/lab.json
    DESTINATION ${CMAKE_INSTALL_DATADIR}/vantelo-lab COMPONENT lab)
  if(TARGET lab_samples)
    install(DIRECTORY ${CMAKE_BINARY_DIR}/samples/
      DESTINATION ${CMAKE_INSTALL_DATADIR}/vantelo-lab/samples
      COMPONENT lab PATTERN .stamp EXCLUDE)
  endif()
  # bin/vantelo-lab: a relative link to the launcher.
  file(RELATIVE_PATH _lab_link /${CMAKE_INSTALL_BINDIR} /${_lab_libexec}/lab)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
  file(CREATE_LINK ${_lab_link} ${CMAKE_BINARY_DIR}/packaging/vantelo-lab SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/vantelo-lab
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lab)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantelo-lab.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT lab)
endif()

# Copyright and changelog of each package, then the compression. DESTDIR and the prefix
# are read when the installation runs (CPack stages each component with its own).
foreach(_component vantelo lab)
  if(_component STREQUAL "vantelo")
    set(_package vantelo)
  else()
    set(_package vantelo-lab)
  endif()
  set(_doc ${CMAKE_INSTALL_DATADIR}/doc/${_package})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_LIST_DIR}/changelog
    DESTINATION ${_doc} COMPONENT ${_component})
  install(CODE "
    set(_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(GLOB _plain \"\${_root}/${CMAKE_INSTALL_MANDIR}/man1/*.1\" \"\${_root}/${_doc}/changelog\")
    foreach(_file \${_plain})
      execute_process(COMMAND gzip -9nf \${_file} RESULT_VARIABLE _rc)
      if(NOT _rc EQUAL 0)
        message(FATAL_ERROR \"gzip \${_file} failed\")
      endif()
    endforeach()" COMPONENT ${_component})
endforeach()
