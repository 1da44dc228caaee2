# core/workers: the workers of the dialogs, each on a thread of its own, and the steps
# of their operations. The pure checks are listed apart: the fuzz targets build them too.
set(VANTELO_WORKERS_PURE_SOURCES typecompare.h typecompare.cpp)
set(VANTELO_WORKERS_SOURCES updateoperation.h transfertexts.h transfertexts.cpp
  updatestep.h updatestep.cpp relaydownload.h relaydownload.cpp
  projectdownload.h projectdownload.cpp firmwaredownload.h firmwaredownload.cpp
  cloudsync.h cloudsync.cpp workerthread.h unpackfolders.h unpackfolders.cpp
  downfileobj.h downfileobj.cpp
  passthroughtrace.h passthroughtrace.cpp penetrationobj.h penetrationobj.cpp)
list(TRANSFORM VANTELO_WORKERS_PURE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VANTELO_WORKERS_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(APPEND VANTELO_WORKERS_SOURCES ${VANTELO_WORKERS_PURE_SOURCES})
