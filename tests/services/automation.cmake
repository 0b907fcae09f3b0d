# The automation bridge: under Wine against real automation objects and a
# probe object; natively, where no engine exists, every call finds it empty.
if(CX_WINDOWS)
  cx_add_test(NAME automation_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/automation_test.cpp
    LIBS cx_automation TIMEOUT 180)
else()
  cx_add_test(NAME automation_none_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/automation_none_test.cpp
    LIBS cx_automation)
endif()
