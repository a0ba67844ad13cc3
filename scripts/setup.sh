#!/usr/bin/env bash
# Makes a Debian 12 machine ready to build, run and test Zandrel.
# Idempotent: when everything is already in place it only checks and returns.
#   scripts/setup.sh [BUILD_DIR]
# Environment: ZANDREL_CACHE (default /var/cache/zandrel) holds the Scintilla and Zydis sources.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache=${ZANDREL_CACHE:-/var/cache/zandrel}

packages=(
  build-essential cmake ninja-build dpkg-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine32:i386 wine64 xvfb xauth imagemagick
  googletest libgtest-dev
  clang libclang-rt-14-dev lld-16 llvm-16
  hyperfine valgrind  # scripts/bench.sh: whole-command timings, instruction counts
  libzycore-dev  # the headers the Zydis decoder is built with
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

# apt-get source needs a deb-src entry for the repository the machine already uses.
has_src() {
  grep -rhsqE '^\s*deb-src\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null && return 0
  grep -rhsqE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources 2>/dev/null && return 0
  return 1
}
if ! has_src; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | as_root tee /etc/apt/sources.list.d/zandrel-src.sources >/dev/null
  else
    grep -hE '^\s*deb\s' /etc/apt/sources.list | sed -E 's/^\s*deb\s/deb-src /' \
      | as_root tee /etc/apt/sources.list.d/zandrel-src.list >/dev/null
  fi
  need_update=1
fi

scintilla_dir() { ls -d "$cache"/scite-*/scintilla 2>/dev/null | head -n 1; }
zydis_dir() { ls -d "$cache"/zydis-4*/ 2>/dev/null | head -n 1; }

if [ ${#missing[@]} -gt 0 ] || [ -z "$(scintilla_dir)" ] || [ -z "$(zydis_dir)" ]; then
  need_update=1
fi

if [ "$need_update" -eq 1 ]; then
  echo "setup: updating package lists" >&2
  as_root apt-get update -qq
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Where the kernel refuses 32-bit programs, the smoke test of the 32-bit zandrel.exe runs them
# through qemu-i386 (tests/app/smoke32.sh).
source "$here/wine.sh"
if [ "$(zandrel_wine32)" = none ] && ! dpkg-query -W -f='${Status}\n' qemu-user-static 2>/dev/null \
  | grep -q '^install ok installed$'; then
  echo "setup: this machine cannot run 32-bit programs: installing qemu-user-static" >&2
  [ "$need_update" -eq 1 ] || as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static \
    >/dev/null
fi

if [ -z "$(scintilla_dir)" ]; then
  echo "setup: fetching the Scintilla source (Debian source package scite) into $cache" >&2
  as_root mkdir -p "$cache"
  (cd "$cache" && as_root apt-get source -qq -o APT::Sandbox::User=root scite >/dev/null)
fi
sdir=$(scintilla_dir)
[ -f "$sdir/win32/ScintillaWin.cxx" ] || { echo "setup: no Scintilla source under $cache" >&2; exit 1; }

# The instruction decoder the librarian reads parameter counts with (cmake/Zydis.cmake).
if [ -z "$(zydis_dir)" ]; then
  echo "setup: fetching the Zydis source (Debian source package zydis) into $cache" >&2
  as_root mkdir -p "$cache"
  (cd "$cache" && as_root apt-get source -qq -o APT::Sandbox::User=root zydis >/dev/null)
fi
[ -f "$(zydis_dir)/src/Decoder.c" ] || { echo "setup: no Zydis source under $cache" >&2; exit 1; }

# A private Wine prefix for this build tree, so tests never touch the user's own.
if [ $# -ge 1 ]; then
  build=$1
  mkdir -p "$build"
  prefix=$(cd "$build" && pwd)/wineprefix
  if [ ! -f "$prefix/system.reg" ]; then
    echo "setup: creating Wine prefix $prefix" >&2
    WINEPREFIX="$prefix" zandrel_wineboot
  fi
fi
echo "$sdir"
