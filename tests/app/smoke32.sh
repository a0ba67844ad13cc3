#!/usr/bin/env bash
# The program we ship, the 32-bit zandrel.exe, started with a real library on its command line
# and driven by zandrel-smoke (title, row count, Copy Import against the generator, quitting).
# It runs wherever 32-bit programs can run:
#  - natively: in the tree's prefix, as every other test;
#  - through a binfmt_misc handler the machine has (such as qemu-i386): in a prefix of its own
#    with Wine's 32-bit half, made once (about two minutes), each 32-bit program start taking
#    about a minute; the driver is the 64-bit one when the win64 tree is built;
#  - on a machine that refuses 32-bit programs and has no handler: as root, with qemu-i386-static
#    installed and ZANDREL_QEMU not 0, this script registers qemu-i386 as the handler for this
#    test alone and removes it again at the end; otherwise the test is skipped.
#   tests/app/smoke32.sh BUILD_DIR [LIBRARY]        exit status 0 passed, 1 failed, 77 skipped
# LIBRARY defaults to SDL2's import library from the test data, else the bundled sample.
# Needs a display (DISPLAY).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:?usage: smoke32.sh BUILD_DIR [LIBRARY]}" && pwd)
source "$root/scripts/wine.sh"
win32=$build/win32
win64=$build/win64
exe=$win32/bin/zandrel.exe
lib=${2:-$root/../shared/testdata/SDL2_x86.lib}
[ -f "$lib" ] || lib=$win32/samples/zsample.lib
[ -f "$exe" ] && [ -f "$lib" ] || { echo "smoke32: build the win32 tree first ($exe, $lib)" >&2; exit 1; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

registered=
binfmt=/proc/sys/fs/binfmt_misc
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
  [ -n "$registered" ] && echo -1 >"$binfmt/zandrel-i386" 2>/dev/null
  return 0
}
trap cleanup EXIT

mode=$(zandrel_wine32)
qemu=$(command -v qemu-i386-static || true)
if [ "$mode" = none ] && [ "${ZANDREL_QEMU:-1}" != 0 ] && [ "$(id -u)" -eq 0 ] && [ -n "$qemu" ] \
  && [ -f "$ZANDREL_WINE32_LOADER" ]; then
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
  # 32-bit x86 ELF programs and shared objects; F: qemu is opened now, so it serves any root.
  if [ -w "$binfmt/register" ] && printf '%s' ':zandrel-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    >"$binfmt/register" 2>/dev/null; then
    registered=1
    echo "smoke32: registered $qemu for 32-bit programs, for this test only"
    mode=$(zandrel_wine32)
  fi
fi

case $mode in
  native)
    export WINEPREFIX=$build/wineprefix
    driver=$win32/tests/app/zandrel-smoke.exe ;;
  emulated)
    export ZANDREL_WINE32_EMULATED=1 WINEPREFIX=$build/wineprefix-wow
    driver=$win64/tests/app/zandrel-smoke.exe
    [ -f "$driver" ] || driver=$win32/tests/app/zandrel-smoke.exe
    # Wine's 32-bit half is set up only when 32-bit programs run while the prefix is made.
    if [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
      rm -rf "$WINEPREFIX"
      echo "smoke32: making the prefix $WINEPREFIX with Wine's 32-bit half (emulated: minutes)"
      zandrel_wineboot
      [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] \
        || { echo "smoke32: $WINEPREFIX has no 32-bit half" >&2; exit 1; }
    fi ;;
  *)
    echo "skipped: $ZANDREL_NO_WIN32_REASON and has no handler for them (see tests/app/smoke32.sh)"
    exit 77 ;;
esac
[ -f "$driver" ] || { echo "smoke32: no $driver" >&2; exit 1; }
echo "smoke32: 32-bit programs run $mode here; driver ${driver#"$build"/}"
loader=$(zandrel_wine_loader "$driver") || exit 1
wineserver -p 2>/dev/null
timeout 1500 "$loader" "$driver" "$(zandrel_winpath "$exe")" "$(zandrel_winpath "$lib")" 600 </dev/null
