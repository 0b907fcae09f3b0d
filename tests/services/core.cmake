# Tests of cx_core: text primitives, code pages, runtime services.
cx_add_test(NAME text_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp LIBS cx_core)
cx_add_test(NAME runtime_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/runtime_test.cpp LIBS cx_core)
cx_add_test(NAME codepage_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp LIBS cx_core)
if(NOT CX_WINDOWS)
  cx_add_test(NAME runtime_exit_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/runtime_exit_test.cpp LIBS cx_core)
endif()
