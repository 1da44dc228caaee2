# core/project: compiled projects and firmware images. Everything here is pure (no
# network, no QObject); the fuzz targets build it too.
set(VANTELO_PROJECT_PURE_SOURCES modelrecord.h modelrecord.cpp projectfiles.h projectfiles.cpp
  firmwaremodeltable.h firmwaremodeltable.cpp safeunzip.h safeunzip.cpp)
list(TRANSFORM VANTELO_PROJECT_PURE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
set(VANTELO_PROJECT_SOURCES ${VANTELO_PROJECT_PURE_SOURCES})
