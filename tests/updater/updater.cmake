# Tests of the updater library and its module (Windows only; they run under Wine).
if(CX_WINDOWS)
  # While a test watches what the shell opens, Wine's browser launcher is
  # pointed at a script of its own that only appends the address to a log.
  function(cx_updater_browser_recorder target)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_browser.sh)
    set(log ${CMAKE_CURRENT_BINARY_DIR}/${target}_browser.log)
    file(CONFIGURE OUTPUT ${script} CONTENT "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '@log@'\n" @ONLY)
    file(CHMOD ${script} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    target_compile_definitions(${target} PRIVATE CX_BROWSER_RECORDER="${script}" CX_BROWSER_LOG="${log}")
  endfunction()

  cx_add_test(NAME updater_module_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_test.cpp LIBS cx_updater_module)
  cx_updater_browser_recorder(updater_module_test)
endif()
