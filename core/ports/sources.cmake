# core/ports: serial ports and the virtual port pairs. The platform's part is one
# source file per platform behind one header; the build picks the list of its
# platform, the Windows syntax check (tests/unit/mingw.cmake) takes the Windows list.
set(VANTELO_PORTS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/serialcommname.h ${CMAKE_CURRENT_LIST_DIR}/serialcommname.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serialcommreader.h
  ${CMAKE_CURRENT_LIST_DIR}/portplatform.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualportpairs.h ${CMAKE_CURRENT_LIST_DIR}/virtualportpairs.cpp
)
set(VANTELO_PORTS_LINUX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/serialcommreader_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portplatform_linux.cpp
)
set(VANTELO_PORTS_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/serialcommreader_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portplatform_win.cpp
)
