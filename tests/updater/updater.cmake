# Tests of the updater library and its module (Windows only; they run under
# Wine, the network ones inside a test namespace with the fixture server).
if(CX_WINDOWS)
  include(${CMAKE_CURRENT_LIST_DIR}/tools/wine_test_helpers.cmake)

  cx_add_test(NAME updater_module_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_test.cpp LIBS cx_updater_module ZLIB::ZLIB
              TIMEOUT 300)
  cx_browser_recorder(updater_module_test)

  add_test(NAME updater_export_table
           COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:updata> -DOBJDUMP=${CMAKE_OBJDUMP}
                   -P ${CMAKE_CURRENT_LIST_DIR}/tools/check_exports.cmake)

  # The new program the fixture serves, and a host that runs the library as the program does.
  add_executable(updater_marker ${CMAKE_CURRENT_LIST_DIR}/marker_app.cpp)
  add_executable(updater_host ${CMAKE_CURRENT_LIST_DIR}/updater_host.cpp)

  # Routes of the maker's server for downloads.
  string(REPEAT "00" 9998 cx_zeros_9998)
  string(REPEAT "00" 4998 cx_zeros_4998)
  string(CONFIGURE [=[{
  "/soft/clipdex/clipdex.txt": {"body": "new=[V1.1]\r\ndownload=[http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe]\r\n", "content_type": "text/plain"},
  "/soft/clipdex/Clipdex.exe": {"body_file": "$<TARGET_FILE:updater_marker>", "content_type": "application/octet-stream"},
  "/soft/clipdex/nolength.exe": {"body_file": "$<TARGET_FILE:updater_marker>", "content_length": false},
  "/soft/clipdex/chunked.exe": {"body_file": "$<TARGET_FILE:updater_marker>", "chunked": true, "chunk_size": 1000},
  "/soft/clipdex/redirect.exe": {"status": 302, "headers": [["Location", "http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe"]], "body": ""},
  "/soft/clipdex/servererror.exe": {"status": 500, "body_file": "$<TARGET_FILE:updater_marker>"},
  "/soft/clipdex/errorpage.exe": {"body": "<html><body>Server busy, try again later</body></html>"},
  "/soft/clipdex/truncated.exe": {"body_hex": "4d5a@cx_zeros_4998@", "content_length": 10000, "close": true},
  "/soft/clipdex/empty.exe": {"body": "", "content_type": "application/octet-stream"},
  "/soft/clipdex/stall.exe": {"body_hex": "4d5a@cx_zeros_9998@", "stall": {"after": 5000, "seconds": 6}},
  "/soft/clipdex/stall_long.exe": {"body_hex": "4d5a@cx_zeros_9998@", "stall": {"after": 5000, "seconds": 25}}
}
]=] cx_updater_routes @ONLY)
  set(cx_updater_routes_file ${CMAKE_CURRENT_BINARY_DIR}/updater_routes.json)
  file(GENERATE OUTPUT ${cx_updater_routes_file} CONTENT "${cx_updater_routes}")

  cx_net_test(updater_transfer_test ${cx_updater_routes_file} ${CMAKE_CURRENT_LIST_DIR}/transfer_test.cpp)
  target_link_libraries(updater_transfer_test PRIVATE cx_updater_module)
  add_dependencies(updater_transfer_test updater_marker updater_host)

  cx_net_test(updater_library_test ${cx_updater_routes_file} ${CMAKE_CURRENT_LIST_DIR}/library_test.cpp)
  target_link_libraries(updater_library_test PRIVATE version)
  target_compile_definitions(updater_library_test PRIVATE CX_UPDATA_DLL="$<TARGET_FILE:updata>")
  cx_browser_recorder(updater_library_test)
  add_dependencies(updater_library_test updata updater_marker updater_host)
  if(TARGET Clipdex)
    target_compile_definitions(updater_library_test PRIVATE CX_PROGRAM="$<TARGET_FILE:Clipdex>")
    add_dependencies(updater_library_test Clipdex)
  endif()
endif()
