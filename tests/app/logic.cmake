# The harvesting logic against the in-memory window (native build only: the
# Windows build checks the same logic end to end on the real window).
if(NOT CX_WINDOWS)
  cx_add_test(NAME app_logic_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/logic_test.cpp ${CMAKE_CURRENT_LIST_DIR}/export_test.cpp ${CMAKE_CURRENT_LIST_DIR}/fake_window.cpp
    LIBS cx_app)
endif()
