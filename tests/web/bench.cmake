# Timing program for body decoding (not a test: run it and read its figures).
add_executable(web_decode_bench ${CMAKE_CURRENT_LIST_DIR}/decode_bench.cpp)
target_link_libraries(web_decode_bench PRIVATE cx_webdecode)
