# core/ports: serial ports and the virtual port pairs. The platform's part is one
# source file per platform behind one header; the build picks the list of its
# platform, the Windows syntax check (tests/unit/mingw.cmake) takes the Windows list.
set(VANTELO_PORTS_SOURCES serialcommname.h serialcommname.cpp serialcommreader.h portplatform.h
  virtualportpairs.h virtualportpairs.cpp)
set(VANTELO_PORTS_LINUX_SOURCES serialcommreader_linux.cpp portplatform_linux.cpp)
set(VANTELO_PORTS_WIN_SOURCES serialcommreader_win.cpp portplatform_win.cpp)
foreach(_list VANTELO_PORTS_SOURCES VANTELO_PORTS_LINUX_SOURCES VANTELO_PORTS_WIN_SOURCES)
  list(TRANSFORM ${_list} PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
endforeach()
