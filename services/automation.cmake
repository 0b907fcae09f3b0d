# cx_automation: the automation object bridge. Windows drives COM objects;
# the native build has no automation engine, so nothing can be created there.
if(CX_WINDOWS)
  add_library(cx_automation STATIC
    ${CMAKE_CURRENT_LIST_DIR}/automation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/automation_com.cpp)
  target_link_libraries(cx_automation PUBLIC cx_core ole32 oleaut32 uuid)
else()
  add_library(cx_automation STATIC
    ${CMAKE_CURRENT_LIST_DIR}/automation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/automation_none.cpp)
  target_link_libraries(cx_automation PUBLIC cx_core)
endif()
