# core/relay: the relay server's links. The pure wire formats are listed apart: the
# fuzz targets build them too.
set(VANTELO_RELAY_PURE_SOURCES relayframe.h relayframe.cpp
  passthroughframing.h passthroughframing.cpp)
set(VANTELO_RELAY_SOURCES relayendpoint.h relayendpoint.cpp relaywaits.h relaywaits.cpp
  relaylink.h relaylink.cpp)
list(TRANSFORM VANTELO_RELAY_PURE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VANTELO_RELAY_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(APPEND VANTELO_RELAY_SOURCES ${VANTELO_RELAY_PURE_SOURCES})
