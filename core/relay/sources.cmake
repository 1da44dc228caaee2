# core/relay: the relay server's links. The pure wire formats are listed apart: the
# fuzz targets build them too.
set(VANTELO_RELAY_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/relayframe.h ${CMAKE_CURRENT_LIST_DIR}/relayframe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/passthroughframing.h ${CMAKE_CURRENT_LIST_DIR}/passthroughframing.cpp
)
set(VANTELO_RELAY_SOURCES ${VANTELO_RELAY_PURE_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/relayendpoint.h ${CMAKE_CURRENT_LIST_DIR}/relayendpoint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/relaywaits.h
  ${CMAKE_CURRENT_LIST_DIR}/relaylink.h ${CMAKE_CURRENT_LIST_DIR}/relaylink.cpp
)
