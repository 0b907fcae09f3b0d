# cx_escape: escape decoding of continuation answers (script engine through
# the automation bridge, percent decoding as the fallback); both builds.
add_library(cx_escape STATIC ${CMAKE_CURRENT_LIST_DIR}/escape_decoding.cpp)
target_link_libraries(cx_escape PUBLIC cx_automation cx_core)
