# Sourced by every script that starts Windows programs, and by the build trees' wine-run.
#
# Debian's `wine` starts every program, 64-bit ones included, through Wine's 32-bit loader, a
# 32-bit Linux program. Some machines refuse 32-bit Linux programs (a kernel without 32-bit
# support): there only Wine's 64-bit loader runs, and only 64-bit Windows programs. Which kind
# of machine this is gets decided here, at run time, each time it is asked.
#
#   zandrel_wine32              native, emulated or none: how 32-bit Linux programs run here.
#                               emulated: through a binfmt_misc handler such as qemu-i386, about a
#                               minute for each program start: enough for one smoke test, not for
#                               a test suite. ZANDREL_NO_WIN32=1 never answers native, so
#                               that the path of machines without 32-bit support can be tried
#                               on any machine.
#   zandrel_wine_loader PROGRAM prints the command that runs PROGRAM (a .exe file, or one of
#                               Wine's own programs such as cmd.exe or wineboot); for a 32-bit
#                               program that cannot run here it says so on stderr and returns 77.
#                               A 32-bit program is run emulated only with ZANDREL_WINE32_EMULATED=1.
#   zandrel_wine PROGRAM ARGS   runs PROGRAM with that command (77 when it cannot run here)
#   zandrel_wineboot            makes the prefix $WINEPREFIX unless it is there
#   zandrel_exe_bits FILE       32 or 64 for a PE file (a Linux path or a Z: path), else nothing
#   zandrel_winpath FILE        FILE as Windows programs see it: Wine reaches Linux through Z:

ZANDREL_WINE32_LOADER=${ZANDREL_WINE32_LOADER:-/usr/lib/wine/wine}
ZANDREL_WINE64_LOADER=${ZANDREL_WINE64_LOADER:-/usr/lib/wine/wine64}
ZANDREL_NO_WIN32_REASON="this machine cannot run 32-bit programs"

# True when an enabled binfmt_misc entry takes 32-bit x86 ELF files: the kernel hands them to
# it before trying to run them itself.
zandrel_i386_handler() {
  local d=/proc/sys/fs/binfmt_misc f magic
  [ -r "$d/status" ] && [ "$(cat "$d/status" 2>/dev/null)" = enabled ] || return 1
  for f in "$d"/*; do
    case ${f##*/} in register | status) continue ;; esac
    [ -r "$f" ] || continue
    grep -qx enabled "$f" 2>/dev/null || continue
    magic=$(sed -n 's/^magic //p' "$f" 2>/dev/null)
    # ELF, 32-bit, little-endian, e_machine 3 (i386) at byte 18 (when the magic reaches it).
    case $magic in 7f454c4601*) ;; *) continue ;; esac
    [ "${#magic}" -ge 40 ] && [ "${magic:36:4}" = 0300 ] && return 0
  done
  return 1
}

zandrel_wine32() {
  if zandrel_i386_handler; then echo emulated; return; fi
  if [ "${ZANDREL_NO_WIN32:-0}" = 1 ]; then echo none; return; fi
  if "$ZANDREL_WINE32_LOADER" --version >/dev/null 2>&1; then echo native; else echo none; fi
}

zandrel_exe_bits() {
  local f=$1 off sig machine
  case $f in [Zz]:*) f=${f#??}; f=${f//\\//} ;; esac
  [ -f "$f" ] || return 0
  [ "$(head -c 2 "$f" 2>/dev/null)" = MZ ] || return 0
  off=$(od -An -t u4 -j 60 -N 4 "$f" 2>/dev/null | tr -d ' ')
  [ -n "$off" ] || return 0
  sig=$(od -An -t x1 -j "$off" -N 4 "$f" 2>/dev/null | tr -d ' ')
  [ "$sig" = 50450000 ] || return 0
  machine=$(od -An -t x2 -j $((off + 4)) -N 2 "$f" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
  esac
}

zandrel_winpath() {
  local a
  a="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
  echo "Z:${a//\//\\}"
}

zandrel_wine_loader() {
  local mode
  mode=$(zandrel_wine32)
  # Where 32-bit programs run, Debian's wrapper picks the loader, as it always has.
  if [ "$mode" = native ]; then echo wine; return 0; fi
  if [ "$(zandrel_exe_bits "$1")" = 32 ]; then
    if [ "$mode" = emulated ] && [ "${ZANDREL_WINE32_EMULATED:-0}" = 1 ]; then
      echo "$ZANDREL_WINE32_LOADER"
      return 0
    fi
    echo "skipped: $ZANDREL_NO_WIN32_REASON (${1##*[/\\]})" >&2
    return 77
  fi
  echo "$ZANDREL_WINE64_LOADER"
}

zandrel_wine() {
  local loader
  loader=$(zandrel_wine_loader "$1") || return
  "$loader" "$@"
}

zandrel_wineboot() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  local loader
  loader=$(zandrel_wine_loader wineboot) || return
  WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all "$loader" wineboot -i >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
}
