# Common settings of the build and test scripts (sourced).
#
# CX_WIN_ARCH picks the Windows tree the Wine commands work on: x86 (the
# product, 32-bit; needs a host that runs 32-bit code) or x64 (runs on every
# x86-64 host). Each has its own build tree, loader and prefix.
CX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CX_BUILD_NATIVE="${CX_BUILD_NATIVE:-$CX_ROOT/build/native}"
CX_WIN_ARCH="${CX_WIN_ARCH:-x86}"
export CX_WIN_ARCH
case "$CX_WIN_ARCH" in
  x86) export WINEARCH=win32; CX_WINE=/usr/lib/wine/wine ;;
  x64) export WINEARCH=win64; CX_WINE=/usr/lib/wine/wine64 ;;
  *) echo "CX_WIN_ARCH must be x86 or x64, not $CX_WIN_ARCH" >&2; return 2 ;;
esac
CX_BUILD_WIN="$CX_ROOT/build/win-$CX_WIN_ARCH"
export WINEPREFIX="${WINEPREFIX:-$CX_ROOT/build/wineprefix-$CX_WIN_ARCH}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8
export LANG=zh_CN.UTF-8

# The CMake toolchain file of each Windows tree.
toolchain_of() {
  case "$1" in
    x86) echo "$CX_ROOT/cmake/mingw-i686.cmake" ;;
    x64) echo "$CX_ROOT/cmake/mingw-x86_64.cmake" ;;
  esac
}

# Whether this host runs 32-bit x86 code, found out by starting Wine's 32-bit
# loader. Some hosts run 64-bit user code only: there the kernel refuses every
# i386 program ("Exec format error"). CX_X86_WHY holds the reason when not.
host_runs_x86() {
  local out
  if out=$(LC_ALL=C LANGUAGE=C bash -c '/usr/lib/wine/wine --version' 2>&1); then
    CX_X86_WHY=""
    return 0
  fi
  out=$(printf '%s\n' "$out" | head -1)
  CX_X86_WHY="${out##*: }"
  [ -n "$CX_X86_WHY" ] || CX_X86_WHY="the 32-bit Wine loader did not start"
  return 1
}

# The processes of the prefix in WINEPREFIX, one PID a line: Wine's own
# programs (the loaders and the wineserver) whose environment names the prefix.
wine_prefix_pids() {
  local p
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/exe" 2>/dev/null)" in
      "$(dirname "$CX_WINE")"/*)
        tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "${p#/proc/}" ;;
    esac
  done
}

source "$CX_ROOT/scripts/wait_for.sh"

# Starts Xvfb on the first free display from number $1 on, exports DISPLAY
# and leaves the server's PID in XVFB_PID (the caller stops it). Returns once
# the server's socket accepts connections.
start_private_display() {
  local n
  XVFB_PID=""
  for n in $(seq "$1" $(( $1 + 30 ))); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$n"
      wait_for "xdpyinfo -display :$n >/dev/null 2>&1 || ! kill -0 $XVFB_PID 2>/dev/null" 30
      kill -0 "$XVFB_PID" 2>/dev/null && return 0
      # Taken by another run between the look and the start: try the next.
      XVFB_PID=""
    fi
  done
  echo "no X display could be started" >&2
  return 1
}
