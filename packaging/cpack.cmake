# Debian packages, one per install component (see install.cmake):
#   vantelo      the program; its dependencies found by dpkg-shlibdeps, plus socat for
#                the virtual port pairs
#   vantelo-lab  the panel lab
# cpack -G DEB in the build folder writes vantelo_<version>_<arch>.deb and
# vantelo-lab_<version>_<arch>.deb (./setup.sh package does it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantelo)
set(CPACK_PACKAGE_VENDOR "The Vantelo developers")
set(CPACK_PACKAGE_CONTACT "Vantelo maintainers <maintainers@users.noreply.c-seed-702139d9.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL vantelo lab)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_VANTELO_PACKAGE_NAME vantelo)
set(CPACK_DEBIAN_VANTELO_PACKAGE_DEPENDS socat)
set(CPACK_DEBIAN_VANTELO_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_COMPONENT_VANTELO_DESCRIPTION
  "service tool for HMI touch panels over the cloud
Vantelo signs in to the panels' cloud service, lists an account's touch
panels and, for one panel, downloads firmware or a compiled project through
the relay server, syncs a cloud project, or opens a serial pass-through to
the PLC behind the panel over a virtual port pair. Chinese user interface.")

set(CPACK_DEBIAN_LAB_PACKAGE_NAME vantelo-lab)
set(CPACK_DEBIAN_LAB_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_LAB_DESCRIPTION
  "local cloud service, relay server and panels for trying Vantelo
The panel lab plays the cloud service, the relay server and a set of touch
panels on this machine, from one JSON configuration, so that Vantelo can be
tried and tested without real panels. Sample firmware images and projects
are included.")

include(CPack)
