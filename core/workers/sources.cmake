# core/workers: the workers of the dialogs, each on a thread of its own. The pure
# checks are listed apart: the fuzz targets build them too.
set(VANTELO_WORKERS_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/typecompare.h ${CMAKE_CURRENT_LIST_DIR}/typecompare.cpp
)
set(VANTELO_WORKERS_SOURCES ${VANTELO_WORKERS_PURE_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/downfileobj.h ${CMAKE_CURRENT_LIST_DIR}/downfileobj.cpp
  ${CMAKE_CURRENT_LIST_DIR}/penetrationobj.h ${CMAKE_CURRENT_LIST_DIR}/penetrationobj.cpp
)
