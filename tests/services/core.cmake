# Tests of cx_core: text primitives, code pages, runtime services.
cx_add_test(NAME text_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp LIBS cx_core)
cx_add_test(NAME runtime_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/runtime_test.cpp LIBS cx_core)
cx_add_test(NAME codepage_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp LIBS cx_core)
if(NOT CX_WINDOWS)
  cx_add_test(NAME runtime_exit_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/runtime_exit_test.cpp LIBS cx_core)
endif()
if(CX_WINDOWS)
  # The stand-in updater library sits next to the test program, where the
  # declared-function lookup looks first.
  add_library(cx_fake_updata SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_updata.cpp)
  set_target_properties(cx_fake_updata PROPERTIES OUTPUT_NAME Updata PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  cx_add_test(NAME runtime_win_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/runtime_win_test.cpp LIBS cx_core user32 gdi32
    TIMEOUT 300)
  add_dependencies(runtime_win_test cx_fake_updata)
endif()
if(NOT CX_WINDOWS AND benchmark_FOUND)
  add_executable(bench_text ${CMAKE_CURRENT_LIST_DIR}/bench_text.cpp)
  target_link_libraries(bench_text PRIVATE cx_core benchmark::benchmark)
endif()
