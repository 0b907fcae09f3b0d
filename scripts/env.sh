# Common settings of the build and test scripts (sourced).
CX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CX_BUILD_NATIVE="${CX_BUILD_NATIVE:-$CX_ROOT/build/native}"
CX_BUILD_WIN="${CX_BUILD_WIN:-$CX_ROOT/build/win}"
export WINEPREFIX="${WINEPREFIX:-$CX_ROOT/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8
export LANG=zh_CN.UTF-8
