# Escape decoding: the platform-free parts in both builds (natively without a
# script engine); the script route, the hostile answers and the converter
# facts the script literal rests on under Wine; a benchmark program.
cx_add_test(NAME escape_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/escape_text_test.cpp
  LIBS cx_escape)
if(CX_WINDOWS)
  cx_add_test(NAME escape_script_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/escape_script_test.cpp
    LIBS cx_escape TIMEOUT 300)
  add_executable(escape_benchmark ${CMAKE_CURRENT_LIST_DIR}/escape_benchmark.cpp)
  target_link_libraries(escape_benchmark PRIVATE cx_escape)
endif()
