# Body decoding tests: native and under Wine.
cx_add_test(NAME web_decode_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/decode_body_test.cpp
  LIBS cx_webdecode
  TIMEOUT 300)
