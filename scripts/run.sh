#!/usr/bin/env bash
# Sets up (if needed), builds and starts Zandrel under Wine: the 32-bit program, or the 64-bit
# build on a machine that cannot run 32-bit programs (scripts/wine.sh; ZANDREL_NO_WIN32=1 forces it).
#   scripts/run.sh [FILE]     FILE: an import library, a DLL or a project (.zdx);
#                             without one, the bundled sample library is opened.
# Without a display Zandrel runs on a virtual one; a screenshot is saved and its path printed.
# Ctrl+C, or closing the window, ends everything this script started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZANDREL_BUILD:-$root/build}
bash "$root/scripts/setup.sh" "$build" >/dev/null
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

source "$root/scripts/wine.sh"

# The 32-bit program we ship where this machine runs 32-bit programs, else the 64-bit build.
if [ "$(zandrel_wine32)" = native ]; then
  tree=$build/win32 toolchain=mingw-i686
  echo "Running the 32-bit zandrel.exe ($tree)"
else
  tree=$build/win64 toolchain=mingw-x86_64
  echo "This machine cannot run 32-bit programs: running the 64-bit zandrel.exe ($tree)"
fi
if [ ! -f "$tree/build.ninja" ]; then
  cmake -G Ninja -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DZANDREL_WINEPREFIX="$build/wineprefix" >/dev/null
fi
# The program, the librarian beside it, and the sample: our own small DLL and the import
# library our librarian builds from it.
cmake --build "$tree" --target zandrel polib sample-lib >/dev/null

file=${1:-$tree/samples/zsample.lib}
[ -e "$file" ] || { echo "run: no such file: $file" >&2; exit 1; }
# Wine reaches the Linux file system through drive Z:. (Not winepath: a Wine process started
# before the display is chosen would leave Wine's desktop without one.)
winfile=$(zandrel_winpath "$file")

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

virtual=0
if [ -z "${DISPLAY:-}" ]; then
  source "$root/scripts/display.sh"
  start_virtual_display 90 1024x768x24
  pids+=("$xvfb_pid")
  virtual=1
fi

"$(zandrel_wine_loader "$tree/bin/zandrel.exe")" "$tree/bin/zandrel.exe" "$winfile" &
app=$!
pids+=($app)
echo "Zandrel is running (pid $app) with $file"
if [ "$virtual" -eq 1 ]; then
  shot=$build/zandrel-screenshot.png
  # Wait until the window has been drawn (the first start of a new Wine prefix is slow).
  for _ in $(seq 120); do
    import -display "$DISPLAY" -window root "$shot" 2>/dev/null || true
    lit=$(convert "$shot" -format '%[fx:maxima>0]' info: 2>/dev/null || echo 0)
    [ "$lit" = 1 ] && break
    sleep 1
  done
  sleep 2
  import -display "$DISPLAY" -window root "$shot" && echo "No display: running on a virtual one; screenshot: $shot"
  echo "Press Ctrl+C to end it."
fi
wait "$app" || true
