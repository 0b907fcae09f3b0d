# Cross build of the Windows program with MinGW-w64 for the processor the
# including toolchain file names in CX_MINGW_TRIPLE (posix thread model: the
# C++ library needs std::mutex; winpthreads is linked statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${CX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${CX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine through the wrapper, which sets the prefix, locale and
# display; the tests carry CX_WIN_ARCH, which picks the loader.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
