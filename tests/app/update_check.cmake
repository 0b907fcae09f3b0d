# The update check: its version-file rules in both builds; end to end under
# Wine against the maker's server in a test namespace.
cx_add_test(NAME app_version_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/version_file_test.cpp LIBS cx_update)

if(CX_WINDOWS)
  include(${CMAKE_SOURCE_DIR}/tests/updater/tools/wine_test_helpers.cmake)
  add_executable(update_check_scenario ${CMAKE_CURRENT_LIST_DIR}/update_check_scenario.cpp)
  target_link_libraries(update_check_scenario PRIVATE cx_update)

  set(cx_version_file ${CMAKE_CURRENT_BINARY_DIR}/update_check_version.txt)
  set(cx_update_routes ${CMAKE_CURRENT_BINARY_DIR}/update_check_routes.json)
  file(CONFIGURE OUTPUT ${cx_update_routes} CONTENT [=[{
  "/soft/clipdex/clipdex.txt": {"body_file": "@cx_version_file@", "content_type": "text/plain"}
}
]=] @ONLY)

  # One program, two runs: with the maker's server, and in a namespace where
  # nothing answers. They share the program's folder, so they never overlap.
  add_executable(app_update_check_test ${CMAKE_CURRENT_LIST_DIR}/update_check_test.cpp)
  target_link_libraries(app_update_check_test PRIVATE cx_update GTest::gtest GTest::gtest_main)
  target_compile_definitions(app_update_check_test PRIVATE CX_VERSION_FILE="${cx_version_file}")
  cx_browser_recorder(app_update_check_test)
  add_dependencies(app_update_check_test update_check_scenario)
  set(cx_in_netns ${CMAKE_SOURCE_DIR}/tests/updater/in_netns.sh)
  add_test(NAME app_update_check_test
           COMMAND ${cx_in_netns} cx-upd-check ${cx_update_routes} $<TARGET_FILE:app_update_check_test>
                   --gtest_color=no --gtest_filter=-UpdateCheckOffline.*)
  add_test(NAME app_update_check_offline_test
           COMMAND ${cx_in_netns} cx-upd-check-offline - $<TARGET_FILE:app_update_check_test>
                   --gtest_color=no --gtest_filter=UpdateCheckOffline.*)
  set_tests_properties(app_update_check_test app_update_check_offline_test PROPERTIES
                       TIMEOUT 900 LABELS network RESOURCE_LOCK cx_update_check_folder)
endif()
