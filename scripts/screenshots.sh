#!/usr/bin/env bash
# Redraws the screenshots in docs/ from the real program in a Windows build tree: the 32-bit one
# (build/win32), or build/win64 on a machine that cannot run 32-bit programs.
#   scripts/screenshots.sh BUILD_DIR [LIBRARY]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=$(cd "${1:?usage: screenshots.sh BUILD_DIR [LIBRARY]}" && pwd)  # Wine wants an absolute prefix
lib=${2:-$root/../shared/testdata/SDL2_x86.lib}
export WINEPREFIX=${WINEPREFIX:-$tree/wineprefix} WINEDEBUG=-all
source "$root/scripts/wine.sh"
cmake --build "$tree" --target zandrel poke >/dev/null
source "$root/scripts/display.sh"
start_virtual_display 120 820x470x24
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
zandrel_wine "$tree/bin/zandrel.exe" "$(zandrel_winpath "$lib")" &
wait_drawn() {
  for _ in $(seq 60); do
    import -window root /tmp/zandrel-shot.png
    [ "$(convert /tmp/zandrel-shot.png -format '%[fx:maxima>0]' info:)" = 1 ] && return
    sleep 1
  done
}
wait_drawn
zandrel_wine "$tree/tests/app/poke.exe" title "Zandrel 2013  - "
sleep 2
import -window root -crop 800x420+4+22 +repage "$root/docs/main-window.png"
zandrel_wine "$tree/tests/app/poke.exe" click 5
sleep 2
import -window root -crop 800x420+4+22 +repage "$root/docs/main-preview.png"
zandrel_wine "$tree/tests/app/poke.exe" command 7
echo "docs/main-window.png and docs/main-preview.png updated"
