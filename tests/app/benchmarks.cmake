# Benchmark programs (print figures; not CTest tests).
if(CX_WINDOWS)
  add_executable(parse_benchmark ${CMAKE_CURRENT_LIST_DIR}/parse_benchmark.cpp)
  target_link_libraries(parse_benchmark PRIVATE cx_app cx_ui cx_web cx_escape cx_automation cx_core)
endif()
