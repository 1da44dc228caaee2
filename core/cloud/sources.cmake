# core/cloud: the cloud service. The pure wire formats (no network, no QObject) are
# listed apart: the fuzz targets build them too.
set(VANTELO_CLOUD_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/devinfo.h
  ${CMAKE_CURRENT_LIST_DIR}/cloudreply.h ${CMAKE_CURRENT_LIST_DIR}/cloudreply.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cloudsyncreply.h ${CMAKE_CURRENT_LIST_DIR}/cloudsyncreply.cpp
  ${CMAKE_CURRENT_LIST_DIR}/multipartbody.h ${CMAKE_CURRENT_LIST_DIR}/multipartbody.cpp
  ${CMAKE_CURRENT_LIST_DIR}/projectidentity.h ${CMAKE_CURRENT_LIST_DIR}/projectidentity.cpp
)
set(VANTELO_CLOUD_SOURCES ${VANTELO_CLOUD_PURE_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/cloudendpoint.h ${CMAKE_CURRENT_LIST_DIR}/cloudendpoint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cloudrequest.h ${CMAKE_CURRENT_LIST_DIR}/cloudrequest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cloudclient.h ${CMAKE_CURRENT_LIST_DIR}/cloudclient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uploadbodydevice.h ${CMAKE_CURRENT_LIST_DIR}/uploadbodydevice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/userinfo.h
  ${CMAKE_CURRENT_LIST_DIR}/usersettings.h ${CMAKE_CURRENT_LIST_DIR}/usersettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/passwordstore.h ${CMAKE_CURRENT_LIST_DIR}/passwordstore.cpp
)
