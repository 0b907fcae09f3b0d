# The window layer. The stored definitions, the column codec and the file
# dialog rules are platform-free (cx_ui_model, both builds); the live window
# layer is Windows only (cx_ui).

set(CX_UI_ICON ${CMAKE_SOURCE_DIR}/assets/clipdex.ico)
set(CX_UI_ICON_CPP ${CMAKE_CURRENT_BINARY_DIR}/main_window_icon.cpp)
add_custom_command(
  OUTPUT ${CX_UI_ICON_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${CX_UI_ICON} -DOUTPUT=${CX_UI_ICON_CPP} -DSYMBOL=kMainWindowIcon
          -P ${CMAKE_CURRENT_SOURCE_DIR}/tools/embed_file.cmake
  DEPENDS ${CX_UI_ICON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/embed_file.cmake
  COMMENT "Embedding the main window's icon")

add_library(cx_ui_model STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/main_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/column_codec.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/file_dialog_request.cpp
  ${CX_UI_ICON_CPP})
target_link_libraries(cx_ui_model PUBLIC cx_core)

if(CX_WINDOWS)
  add_library(cx_ui STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/registry.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/frame.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/properties.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/control.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/button.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/check_box.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/edit_box.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/label.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/common_dialog.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/list_view.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/menu_entry.cpp)
  target_link_libraries(cx_ui PUBLIC cx_ui_model cx_core comctl32 comdlg32 gdi32 user32)
  # The program's icon resource (id 1) for executables: add this file to
  # their sources.
  set(CX_UI_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources.rc CACHE INTERNAL "")
endif()
