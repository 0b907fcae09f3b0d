# End-to-end tests: the real Clipdex.exe driven from outside by e2e_driver,
# against the demo site inside a test network namespace (needs root).
if(CX_WINDOWS)
  add_executable(e2e_driver ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
  target_link_libraries(e2e_driver PRIVATE gdi32)
  set_target_properties(e2e_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

  if(TARGET Clipdex)
    if(EXISTS /usr/bin/python3)
      set(cx_e2e_python /usr/bin/python3)
    else()
      find_program(cx_e2e_python python3 REQUIRED)
    endif()
    foreach(cx_case three_pages url_mode stop_during_second_page empty_first_page persistent_503
                    single_503 loop_back export close_during_run)
      add_test(NAME e2e_${cx_case}
               COMMAND ${cx_e2e_python} ${CMAKE_CURRENT_LIST_DIR}/run_e2e.py ${cx_case}
                       --program $<TARGET_FILE:Clipdex> --driver $<TARGET_FILE:e2e_driver>
                       --work ${CMAKE_BINARY_DIR}/e2e/${cx_case} --templates ${CMAKE_BINARY_DIR}/e2e)
      set_tests_properties(e2e_${cx_case} PROPERTIES TIMEOUT 450 LABELS e2e)
    endforeach()
  endif()
endif()
