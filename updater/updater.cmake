# Updata.dll, the updater library, and its image carried inside the program.
if(CX_WINDOWS)
  enable_language(RC)
  # The library stays small: plain Win32, no exceptions, no type information.
  set(cx_updater_flags -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-threadsafe-statics)

  # The module's code as a static library: the DLL is linked from it, and the
  # tests drive the same handlers inside their own process.
  add_library(cx_updater_module STATIC ${CMAKE_CURRENT_LIST_DIR}/module.cpp ${CMAKE_CURRENT_LIST_DIR}/transfer.cpp)
  target_compile_options(cx_updater_module PRIVATE ${cx_updater_flags})
  target_link_libraries(cx_updater_module PUBLIC wininet comctl32 shell32 gdi32 user32 kernel32)

  # The export's name is 更新窗口 in GBK; the definition file is written with
  # those bytes so that the name lands in the export table unchanged.
  string(ASCII 184 252 208 194 180 176 191 218 cx_update_window_export)
  file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/updata.def
       CONTENT "LIBRARY Updata.dll\nEXPORTS\n  \"@cx_update_window_export@\" = updata_update_window@8\n" @ONLY)

  add_library(updata SHARED ${CMAKE_CURRENT_LIST_DIR}/entry.cpp ${CMAKE_CURRENT_LIST_DIR}/updata.rc
              ${CMAKE_CURRENT_BINARY_DIR}/updata.def)
  target_compile_options(updata PRIVATE ${cx_updater_flags})
  target_link_libraries(updata PRIVATE cx_updater_module)
  # No C runtime start-up: the loader calls DllMain directly, and nothing here
  # needs more than the system libraries (and libgcc for the odd helper).
  target_link_options(updata PRIVATE -s -static-libgcc -nostartfiles -nodefaultlibs -Wl,--entry,_DllMain@12)
  target_link_libraries(updata PRIVATE gcc)
  set_target_properties(updata PROPERTIES PREFIX "" OUTPUT_NAME Updata SUFFIX ".dll")

  # The program embeds the freshly built library as a byte-string constant.
  set(cx_updater_image_source ${CMAKE_CURRENT_BINARY_DIR}/updater_image.cpp)
  add_custom_command(OUTPUT ${cx_updater_image_source}
    COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:updata> -DOUTPUT=${cx_updater_image_source}
            -P ${CMAKE_CURRENT_LIST_DIR}/tools/embed_image.cmake
    DEPENDS updata ${CMAKE_CURRENT_LIST_DIR}/tools/embed_image.cmake
    COMMENT "Embedding Updata.dll"
    VERBATIM)
  add_library(cx_updater_image STATIC ${cx_updater_image_source})
  target_link_libraries(cx_updater_image PUBLIC cx_core)
endif()
