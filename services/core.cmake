# cx_core: value model, text primitives, code pages, heap and runtime services.
set(cx_core_sources
  ${CMAKE_CURRENT_LIST_DIR}/value.cpp
  ${CMAKE_CURRENT_LIST_DIR}/heap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_cells.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runtime_common.cpp)
if(CX_WINDOWS)
  list(APPEND cx_core_sources
    ${CMAKE_CURRENT_LIST_DIR}/codepage_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/runtime_win.cpp)
else()
  list(APPEND cx_core_sources
    ${CMAKE_CURRENT_LIST_DIR}/codepage_native.cpp
    ${CMAKE_CURRENT_LIST_DIR}/runtime_native.cpp)
endif()
add_library(cx_core STATIC ${cx_core_sources})
target_include_directories(cx_core PUBLIC ${CMAKE_SOURCE_DIR})
if(CX_WINDOWS)
  target_link_libraries(cx_core PUBLIC ole32 oleaut32 user32 kernel32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(cx_core PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
endif()
