# core/ports: serial ports and the virtual port pairs.
set(VANTELO_PORTS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/serialcommname.h ${CMAKE_CURRENT_LIST_DIR}/serialcommname.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serialcommreader.h ${CMAKE_CURRENT_LIST_DIR}/serialcommreader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portplatform.h ${CMAKE_CURRENT_LIST_DIR}/portplatform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtualportpairs.h ${CMAKE_CURRENT_LIST_DIR}/virtualportpairs.cpp
)
