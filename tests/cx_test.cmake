# cx_add_test(NAME name SOURCES ... LIBS ... [GUI] [TIMEOUT s])
# Builds a GoogleTest executable and registers every test of it with CTest.
# Windows executables run through the cross-compiling emulator (Wine wrapper).
include(GoogleTest)
function(cx_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # One CTest entry per executable keeps Wine start-up costs down; the
  # GoogleTest output still names every case.
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
