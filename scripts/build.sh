#!/bin/bash
# Configures and builds the trees: build/native (platform-free code and its
# tests, benchmarks) and the Windows program, its library and tests for each
# architecture asked for (default both): build/win-x86 (PE32, the product)
# and build/win-x64 (PE32+). ARCH:TARGET[,TARGET...] builds only those
# targets of that tree (and what they need).
#   scripts/build.sh [x86[:targets]] [x64[:targets]]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
JOBS="${JOBS:-$(nproc)}"
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x86 x64)

cmake -S "$CX_ROOT" -B "$CX_BUILD_NATIVE" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$CX_BUILD_NATIVE" -j"$JOBS"

for arg in "${arches[@]}"; do
  arch=${arg%%:*}
  targets=()
  [ "$arg" = "$arch" ] || IFS=, read -r -a targets <<<"${arg#*:}"
  tree="$CX_ROOT/build/win-$arch"
  cmake -S "$CX_ROOT" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$(toolchain_of "$arch")" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$tree" -j"$JOBS" --target "${targets[@]}"
  else
    cmake --build "$tree" -j"$JOBS"
  fi
done
