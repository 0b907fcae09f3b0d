# Response body decoding (both builds): gzip reader over zlib, UTF-8 to ANSI.
add_library(cx_webdecode STATIC
  ${CMAKE_CURRENT_LIST_DIR}/decode_body.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gzip_reader.cpp)
target_link_libraries(cx_webdecode PUBLIC cx_core ZLIB::ZLIB)
