# Page request, URL reader and browser launch (Windows only).
if(CX_WINDOWS)
  add_library(cx_web STATIC
    ${CMAKE_CURRENT_LIST_DIR}/transport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/page_request.cpp
    ${CMAKE_CURRENT_LIST_DIR}/read_url.cpp)
  target_link_libraries(cx_web PUBLIC cx_webdecode cx_core wininet shell32 user32)
endif()
