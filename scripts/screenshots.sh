#!/usr/bin/env bash
# Redraws the user guide's screenshots (docs/*.png) from the real program. guide-tour
# (tests/app/guide_tour.cpp) takes zandrel.exe through the guide's steps, with host-sim as the
# host IDE, and asks for a picture at each; this script takes it from a virtual display, crops it
# to the windows shown and stores it as a small PNG.
#   scripts/screenshots.sh [BUILD_DIR]
# BUILD_DIR is a Windows build tree. By default it is the one scripts/run.sh runs: build/win32,
# or build/win64 on a machine that cannot run 32-bit programs (configured and built as needed;
# ZANDREL_BUILD moves build/). The virtual display is the first free one from ZANDREL_DISPLAY
# (default 120).
#
# The pictures should show the program as it looks on Windows, so they are taken in a Wine
# prefix of their own (BUILD_DIR/wineprefix-guide) that has Wine's own fonts (Debian's
# fonts-wine: Tahoma, MS Sans Serif and others with the metrics of Windows' fonts), which Wine
# does not load unless they stand in the prefix's Fonts folder. The program asks for:
#  - DEFAULT_GUI_FONT for its controls: "MS Shell Dlg", which Windows maps to Microsoft Sans
#    Serif, whose metrics are those of MS Sans Serif;
#  - the system's fonts for the grid, menus and status bar: Wine takes Tahoma, the face Windows
#    used for them before Segoe UI, of which Debian has no copy;
#  - "Courier New" for the preview: no Debian package has it; DejaVu Sans Mono, monospaced at
#    the same width per character at the preview's size, stands in.
# The programs run on a Wine desktop (a virtual one, as large as the display), where their windows
# get frames and title bars as on Windows; without a window manager they would have none.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/wine.sh"
if [ $# -ge 1 ]; then
  tree=$(cd "$1" && pwd)  # Wine wants an absolute prefix
  bash "$root/scripts/setup.sh" >/dev/null
else
  build=${ZANDREL_BUILD:-$root/build}
  bash "$root/scripts/setup.sh" "$build" >/dev/null
  build=$(cd "$build" && pwd)
  if [ "$(zandrel_wine32)" = native ]; then
    tree=$build/win32 toolchain=mingw-i686
  else
    tree=$build/win64 toolchain=mingw-x86_64
  fi
  if [ ! -f "$tree/build.ninja" ]; then
    cmake -G Ninja -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
      -DZANDREL_WINEPREFIX="$build/wineprefix" >/dev/null
  fi
fi
echo "screenshots: the program of $tree"
cmake --build "$tree" --target zandrel polib zsample host-sim guide-tour >/dev/null

export WINEPREFIX=$tree/wineprefix-guide WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k 2>/dev/null || true  # Wine's desktop binds to the display it first sees
# The display first: every Wine program of this prefix, its set-up too, shows on it.
source "$root/scripts/display.sh"
start_virtual_display "${ZANDREL_DISPLAY:-120}" 1280x1024x24
shots=$(mktemp -d /tmp/zandrel-shots.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true; rm -rf "$shots"' EXIT
zandrel_wineboot
ln -sf /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
reg=$(mktemp /tmp/zandrel-fonts.XXXXXX.reg)
printf '%s\r\n' 'REGEDIT4' '' \
  '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
  '"MS Shell Dlg"="Microsoft Sans Serif"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"Microsoft Sans Serif"="MS Sans Serif"' \
  '"Courier New"="DejaVu Sans Mono"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="1280x1024"' '' >"$reg"
zandrel_wine reg import "$(zandrel_winpath "$reg")" >/dev/null 2>&1
rm -f "$reg"
wineserver -k 2>/dev/null || true

# The tour works in the documents folder, where Zandrel's requesters start. Wine links it and
# the other user folders to the home folder: here they are folders of the prefix's own, so that
# the requesters show the tour's files and nothing else. It holds a user's library and the
# sample DLL; the tour adds the rest.
for folder in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$folder" ]; then rm "$folder" && mkdir "$folder"; fi
done
work=$(ls -d "$WINEPREFIX"/drive_c/users/*/Documents | grep -v /Public/ | head -n 1)
rm -rf "${work:?}"/*
# MinGW-w64's import library of user32, a COFF archive with stdcall names such as
# _MessageBoxA@16, under the name Microsoft's has.
cp /usr/i686-w64-mingw32/lib/libuser32.a "$work/user32.lib"
cp "$tree/samples/zsample.dll" "$work/"
winwork='C:\users\'"$(basename "$(dirname "$work")")"'\Documents'

# One picture: grabbed until two grabs in a row agree (a blinking caret may never let them), then
# reduced to a palette, which keeps these flat pictures crisp at a fraction of the size.
take() {  # NAME GEOMETRY
  local a=$shots/a.png b=$shots/b.png
  import -window root -crop "$2" +repage "$a"
  for _ in $(seq 10); do
    sleep 0.3
    import -window root -crop "$2" +repage "$b"
    [ "$(compare -metric AE "$a" "$b" null: 2>&1 || true)" = 0 ] && break
    mv "$b" "$a"
  done
  if [ "$1" = failed ]; then  # the whole screen when a step failed, kept out of docs/
    cp "$a" "$tree/guide-failed.png"
    echo "screenshots: the screen when the tour failed: $tree/guide-failed.png"
    return
  fi
  convert "$a" +dither -colors 256 -strip "PNG8:$root/docs/$1.png"
  echo "screenshots: docs/$1.png ($2)"
}

log=$shots/tour.log
zandrel_wine "$tree/tests/app/guide-tour.exe" "$(zandrel_winpath "$tree/bin/zandrel.exe")" \
  "$(zandrel_winpath "$tree/tests/preview/host-sim.exe")" "$winwork" >"$log" 2>&1 &
tour=$!
while kill -0 "$tour" 2>/dev/null; do
  if [ -f "$work/shot.txt" ]; then
    read -r name geometry <"$work/shot.txt"
    take "$name" "$geometry"
    rm -f "$work/shot.txt"
  fi
  sleep 0.2
done
status=0
wait "$tour" || status=$?
cat "$log"
[ "$status" -eq 0 ] || { echo "screenshots: the tour failed (status $status)" >&2; exit 1; }
