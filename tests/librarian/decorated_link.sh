#!/usr/bin/env bash
# A DLL of ours with stdcall, fastcall and cdecl functions exported in every spelling, turned
# into an import library by polib, then judged by outside tools:
#  - zandrel-cli lists the names a Microsoft librarian gives them, with their parameter counts
#    (read from the library's names, or from the DLL's code where the names carry none);
#  - a C program that calls them as declared links with lld-link against our libraries alone,
#    and llvm-readobj finds it importing exactly the names the DLL exports;
#  - the program runs under Wine and gets the right results. Where this machine cannot run
#    programs for MACHINE, everything else is checked and the test ends as skipped (77).
# Usage: decorated_link.sh X86|X64 POLIB ZANDREL_CLI SOURCE_DIR WORK_DIR
set -u
m=$1 polib=$2 cli=$3 src=$4 work=$5
export LC_ALL=C
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine.sh"

if [ "$m" = X86 ]; then
  cc=i686-w64-mingw32-gcc-posix wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows def=$src/stdcall_dll_x86.def
else
  cc=x86_64-w64-mingw32-gcc-posix wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows def=$src/stdcall_dll_x64.def
fi
for tool in $cc lld-link-16 llvm-readobj-16; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ -f $wine_dlls/msvcrt.dll ] || { echo "skipped: no Wine msvcrt.dll for $m"; exit 77; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

$cc -O2 -shared -s -o stdcall.dll "$src/stdcall_dll.c" "$def" || { echo "FAIL: building the DLL"; exit 1; }
"$polib" stdcall.dll /MACHINE:$m /NOUND /OUT:stdcall.lib >polib.out 2>polib.err || { cat polib.err; exit 1; }
[ -s polib.err ] && fail "polib warned: $(cat polib.err)"
"$polib" "$wine_dlls/msvcrt.dll" /MACHINE:$m /NOUND /OUT:msvcrt.lib >/dev/null 2>&1 || { echo "FAIL: msvcrt.lib"; exit 1; }

# Name, count and host name: from the library as such, and with the DLL's code for counts the
# names cannot carry.
if [ $m = X86 ]; then
  want_lib=$'@Fast2@8\t0\tFast2\n_Add2@8\t2\tAdd2\n_Cdecl2\t0\tCdecl2\n_Mul3@12\t3\tMul3\n_Sub2@8\t2\tSub2'
  want_dll=$'@Fast2@8\t0\tFast2\n_Add2@8\t2\tAdd2\n_Cdecl2\t2\tCdecl2\n_Mul3@12\t3\tMul3\n_Sub2@8\t2\tSub2'
else
  want_lib=$'Add2\t0\tAdd2\nCdecl2\t0\tCdecl2\nFast2\t0\tFast2\nMul3\t0\tMul3\nSub2\t0\tSub2'
  want_dll=$'Add2\t2\tAdd2\nCdecl2\t2\tCdecl2\nFast2\t2\tFast2\nMul3\t3\tMul3\nSub2\t2\tSub2'
fi
got=$("$cli" symbols stdcall.lib)
[ "$got" = "$want_lib" ] || { fail "symbols of the library"; diff <(echo "$want_lib") <(echo "$got"); }
got=$("$cli" symbols stdcall.dll)
[ "$got" = "$want_dll" ] || { fail "symbols of the DLL"; diff <(echo "$want_dll") <(echo "$got"); }

# Linked, the program imports the DLL's own names, whatever the public names were.
$cc -c -O1 -ffreestanding -fno-builtin -fno-asynchronous-unwind-tables "$src/stdcall_probe.c" -o probe.o \
  || { echo "FAIL: compiling the probe"; exit 1; }
lld-link-16 /nologo /nodefaultlib /entry:entry /subsystem:console /safeseh:no /out:probe.exe probe.o \
  stdcall.lib msvcrt.lib >link.out 2>&1 || { fail "link: $(head -5 link.out)"; echo "$failures failures"; exit 1; }
llvm-readobj-16 --coff-exports stdcall.dll | sed -n 's/^  Name: \(..*\)$/\1/p' | sort >exported
llvm-readobj-16 --coff-imports probe.exe |
  awk '/Name: / { dll = $2 } dll == "stdcall.dll" && /Symbol: / { print $2 }' | sort >imported
cmp -s exported imported || { fail "imported names differ from the exported ones"; diff exported imported; }
echo "imports: $(tr '\n' ' ' <imported)"

if [ $failures -ne 0 ]; then echo "$failures failures"; exit 1; fi
loader=$(zandrel_wine_loader probe.exe 2>/dev/null) || { echo "run $m: skipped ($ZANDREL_NO_WIN32_REASON)"; exit 77; }
command -v wine >/dev/null || { echo "run $m: skipped (no wine)"; exit 77; }
# Output to files: Wine's server outlives the program and must not hold the test's pipes.
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="${WINEPREFIX:-$work.wineprefix}" \
  "$loader" probe.exe </dev/null >run.out 2>run.err || fail "run $m: exit status $?"
[ "$(tr -d '\r' <run.out)" = "Add2=42 Mul3=42 Sub2=42 Fast2=42 Cdecl2=402" ] \
  || { fail "run $m: output"; cat run.out run.err | head -20; }
echo "$failures failures"
[ $failures -eq 0 ]
