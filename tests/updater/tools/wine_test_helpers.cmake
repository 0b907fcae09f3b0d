# Helpers of the Windows tests that run under Wine.
# cx_browser_recorder(target): while a test of target watches what the shell
# opens, Wine's browser launcher is pointed at a script of its own that only
# appends the address to a log (see tests/updater/browser_recorder.h).
include_guard(GLOBAL)
function(cx_browser_recorder target)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_browser.sh)
  set(log ${CMAKE_CURRENT_BINARY_DIR}/${target}_browser.log)
  file(CONFIGURE OUTPUT ${script} CONTENT "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '@log@'\n" @ONLY)
  file(CHMOD ${script} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  target_compile_definitions(${target} PRIVATE CX_BROWSER_RECORDER="${script}" CX_BROWSER_LOG="${log}")
endfunction()

# cx_net_test(name routes|- sources...): a Windows test program run in a test
# namespace of its own, with the fixture server when routes are given.
function(cx_net_test name routes)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/updater/in_netns.sh cx-upd-${name} ${routes} $<TARGET_FILE:${name}> --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT 900 LABELS network)
endfunction()
