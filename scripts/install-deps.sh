#!/bin/bash
# Installs every package the build and the tests need (Debian, as root).
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  NEED_UPDATE=1
fi

# Both toolchains and both Wines: wine32:i386 installs on any host, though
# only a host that runs 32-bit code can start it; wine64 runs everywhere.
for p in cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 \
         binutils-mingw-w64-x86-64 libz-mingw-w64-dev zlib1g-dev libgtest-dev libbenchmark-dev \
         wine wine64 wine32:i386 xvfb x11-utils fonts-wqy-microhei locales openssl ca-certificates \
         iproute2 python3 imagemagick file clang libclang-rt-14-dev; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The Chinese locale that gives Wine the ANSI code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
