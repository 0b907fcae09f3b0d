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

# Starts Xvfb on the first free display from number $1 on, exports DISPLAY
# and leaves the server's PID in XVFB_PID (the caller stops it).
start_private_display() {
  local n
  XVFB_PID=""
  for n in $(seq "$1" $(( $1 + 30 ))); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$n"
      break
    fi
  done
  sleep 1
}
