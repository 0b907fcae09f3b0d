# Tests of the window layer. The platform-free model runs in both builds;
# the live window tests run under Wine and need the display the caller set
# up (DISPLAY); they write pictures of the window into this build folder.
if(CX_WINDOWS)
  set(cx_ui_icon_file "Z:${CMAKE_SOURCE_DIR}/assets/clipdex.ico")
else()
  set(cx_ui_icon_file "${CMAKE_SOURCE_DIR}/assets/clipdex.ico")
endif()
cx_add_test(NAME ui_model_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_test.cpp LIBS cx_ui_model)
target_compile_definitions(ui_model_test PRIVATE CX_ICON_FILE="${cx_ui_icon_file}")

if(CX_WINDOWS)
  add_library(cx_ui_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/ui_support.cpp)
  target_link_libraries(cx_ui_test_support PUBLIC cx_ui GTest::gtest ZLIB::ZLIB)

  # Ends itself in the ways the program can end; run by ui_live_test.
  add_executable(cx_ui_end_probe ${CMAKE_CURRENT_LIST_DIR}/end_probe.cpp)
  target_link_libraries(cx_ui_end_probe PRIVATE cx_ui)

  cx_add_test(NAME ui_live_test GUI TIMEOUT 300
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/layout_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/events_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/properties_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/list_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/paint_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/dialog_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/end_test.cpp
    LIBS cx_ui_test_support)
  add_dependencies(ui_live_test cx_ui_end_probe)

  # Without a window manager on the test display, Wine waits two seconds for
  # every managed window it hides, and draws no frame. The live tests' own
  # windows are therefore left unmanaged: Wine draws their frames itself.
  # The setting applies to these test programs only.
  foreach(program ui_live_test cx_ui_end_probe)
    add_test(NAME ui_unmanaged_windows_${program}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh reg add
                     "HKCU\\Software\\Wine\\AppDefaults\\${program}.exe\\X11 Driver" /v Managed /d N /f)
    set_tests_properties(ui_unmanaged_windows_${program} PROPERTIES FIXTURES_SETUP cx_ui_wine TIMEOUT 120)
  endforeach()
  set_tests_properties(ui_live_test PROPERTIES FIXTURES_REQUIRED cx_ui_wine)

  # Not a test: prints how fast the list fills and reads back.
  add_executable(cx_ui_list_benchmark ${CMAKE_CURRENT_LIST_DIR}/list_benchmark.cpp ${CX_UI_RESOURCES})
  target_link_libraries(cx_ui_list_benchmark PRIVATE cx_ui)
endif()
