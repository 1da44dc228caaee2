# core/project: compiled projects and firmware images. Everything here is pure (no
# network, no QObject); the fuzz targets build it too.
set(VANTELO_PROJECT_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/modelrecord.h ${CMAKE_CURRENT_LIST_DIR}/modelrecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/projectfiles.h ${CMAKE_CURRENT_LIST_DIR}/projectfiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/firmwaremodeltable.h ${CMAKE_CURRENT_LIST_DIR}/firmwaremodeltable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/safeunzip.h ${CMAKE_CURRENT_LIST_DIR}/safeunzip.cpp
)
set(VANTELO_PROJECT_SOURCES ${VANTELO_PROJECT_PURE_SOURCES})
