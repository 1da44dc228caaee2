# core/workers: the workers of the dialogs, each on a thread of its own, and the steps
# of their operations. The pure checks are listed apart: the fuzz targets build them too.
set(VANTELO_WORKERS_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/typecompare.h ${CMAKE_CURRENT_LIST_DIR}/typecompare.cpp
)
set(VANTELO_WORKERS_SOURCES ${VANTELO_WORKERS_PURE_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/updateoperation.h
  ${CMAKE_CURRENT_LIST_DIR}/transfertexts.h ${CMAKE_CURRENT_LIST_DIR}/transfertexts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/updatestep.h ${CMAKE_CURRENT_LIST_DIR}/updatestep.cpp
  ${CMAKE_CURRENT_LIST_DIR}/relaydownload.h ${CMAKE_CURRENT_LIST_DIR}/relaydownload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/projectdownload.h ${CMAKE_CURRENT_LIST_DIR}/projectdownload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/firmwaredownload.h ${CMAKE_CURRENT_LIST_DIR}/firmwaredownload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cloudsync.h ${CMAKE_CURRENT_LIST_DIR}/cloudsync.cpp
  ${CMAKE_CURRENT_LIST_DIR}/workerthread.h
  ${CMAKE_CURRENT_LIST_DIR}/downfileobj.h ${CMAKE_CURRENT_LIST_DIR}/downfileobj.cpp
  ${CMAKE_CURRENT_LIST_DIR}/penetrationobj.h ${CMAKE_CURRENT_LIST_DIR}/penetrationobj.cpp
)
