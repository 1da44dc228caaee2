# core/common: what every folder of the core may use.
set(VANTELO_COMMON_SOURCES language.h language.cpp logging.h logging.cpp runtimeoverrides.h runtimeoverrides.cpp)
list(TRANSFORM VANTELO_COMMON_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
