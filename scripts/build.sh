#!/bin/bash
# Configures and builds both trees: build/native (platform-free code and its
# tests, benchmarks) and build/win (the Windows program, its library and tests).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
JOBS="${JOBS:-$(nproc)}"

cmake -S "$CX_ROOT" -B "$CX_BUILD_NATIVE" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$CX_BUILD_NATIVE" -j"$JOBS"

cmake -S "$CX_ROOT" -B "$CX_BUILD_WIN" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$CX_ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$CX_BUILD_WIN" -j"$JOBS"
