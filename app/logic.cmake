# The harvesting logic: platform-free apart from the interfaces it calls
# (control access, page request, escape decoding), so it also builds natively.
add_library(cx_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cutting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing_address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tile_parsing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paging.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fetch_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/export.cpp)
target_link_libraries(cx_app PUBLIC cx_core)
if(TARGET cx_escape)
  target_link_libraries(cx_app PUBLIC cx_escape)
endif()

if(CX_WINDOWS)
  add_executable(Clipdex WIN32 ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/program.cpp)
  if(EXISTS ${CMAKE_SOURCE_DIR}/ui/resources.rc)
    target_sources(Clipdex PRIVATE ${CMAKE_SOURCE_DIR}/ui/resources.rc)
  endif()
  target_link_libraries(Clipdex PRIVATE cx_app cx_update cx_ui cx_web cx_escape cx_automation cx_core)
  set_target_properties(Clipdex PROPERTIES OUTPUT_NAME Clipdex RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  target_link_options(Clipdex PRIVATE -s)
endif()
