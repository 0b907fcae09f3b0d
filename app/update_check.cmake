# The update check: the version-file rules in both builds, the check itself
# (URL reader, updater library image, declared function) in the Windows build.
add_library(cx_update STATIC ${CMAKE_CURRENT_LIST_DIR}/version_file.cpp)
target_link_libraries(cx_update PUBLIC cx_app cx_core)
if(CX_WINDOWS)
  target_sources(cx_update PRIVATE ${CMAKE_CURRENT_LIST_DIR}/update_check.cpp)
  target_link_libraries(cx_update PUBLIC cx_updater_image cx_web)
endif()
