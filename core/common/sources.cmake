# core/common: what every folder of the core may use.
set(VANTELO_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/logging.h ${CMAKE_CURRENT_LIST_DIR}/logging.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runtimeoverrides.h ${CMAKE_CURRENT_LIST_DIR}/runtimeoverrides.cpp
)
