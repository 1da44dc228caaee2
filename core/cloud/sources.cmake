# core/cloud: the cloud service. The pure wire formats (no network, no QObject) are
# listed apart: the fuzz targets build them too.
set(VANTELO_CLOUD_PURE_SOURCES devinfo.h cloudreply.h cloudreply.cpp
  cloudsyncreply.h cloudsyncreply.cpp multipartbody.h multipartbody.cpp
  projectidentity.h projectidentity.cpp)
set(VANTELO_CLOUD_SOURCES cloudendpoint.h cloudendpoint.cpp cloudrequest.h cloudrequest.cpp
  cloudclient.h cloudclient.cpp uploadbodydevice.h uploadbodydevice.cpp userinfo.h
  usersettings.h usersettings.cpp passwordstore.h passwordstore.cpp)
list(TRANSFORM VANTELO_CLOUD_PURE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VANTELO_CLOUD_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(APPEND VANTELO_CLOUD_SOURCES ${VANTELO_CLOUD_PURE_SOURCES})
