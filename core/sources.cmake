# The source lists of the core, folder by folder (VANTELO_<FOLDER>_SOURCES, and
# VANTELO_<FOLDER>_PURE_SOURCES for the pure wire formats and checks among them).
# The core's own targets are built from them, and so are the fuzz targets
# (tests/fuzz) and the Windows syntax check (tests/unit/mingw.cmake).
foreach(_vantelo_folder common cloud relay project ports workers)
  include(${CMAKE_CURRENT_LIST_DIR}/${_vantelo_folder}/sources.cmake)
endforeach()
