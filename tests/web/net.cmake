# Page request and URL reader tests: a Windows program run under Wine inside
# a test network namespace, against the fixture server.
if(CX_WINDOWS)
  add_executable(web_net_test
    ${CMAKE_CURRENT_LIST_DIR}/page_request_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/read_url_test.cpp)
  target_link_libraries(web_net_test PRIVATE cx_web GTest::gtest GTest::gtest_main)
  add_test(NAME web_net_test
    COMMAND ${CMAKE_SOURCE_DIR}/tests/fixture/run_in_netns.sh
            --name cxweb-net --routes ${CMAKE_CURRENT_LIST_DIR}/routes.py --timeout 500
            -- ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:web_net_test> --gtest_color=no)
  set_tests_properties(web_net_test PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()
