#!/usr/bin/env bash
# Fills OUT/<target>/ with the seeds of each fuzz target: the small hand-written ones of
# tests/fuzz/seeds/<target> plus real files from this machine: a few small Wine DLLs, the
# import libraries our librarian builds from them, MinGW's GNU-format import libraries and the
# Microsoft-built libraries of the test data folder when it is there. Run by the fuzz tree's
# build; files that are missing here are simply left out.
#   scripts/fuzz-seeds.sh OUT [POLIB] [TESTDATA_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$1
polib=${2:-}
testdata=${3:-$root/../shared/testdata}
wine32=/usr/lib/i386-linux-gnu/wine/i386-windows
wine64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
mingw32=/usr/i686-w64-mingw32/lib
mingw64=/usr/x86_64-w64-mingw32/lib
# Small DLLs with a handful of exports (some of them forwarders).
dlls="icmp lz32 normaliz sfc"

mkdir -p "$out"
for dir in "$root"/tests/fuzz/seeds/*/; do
  target=$(basename "$dir")
  rm -rf "${out:?}/$target"
  mkdir -p "$out/$target"
  cp "$dir"* "$out/$target/"
done

put() {  # target, file, seed name
  [ -f "$2" ] || return 0
  mkdir -p "$out/$1"
  cp "$2" "$out/$1/$3"
}

for d in $dlls; do
  for arch in 32 64; do
    if [ $arch = 32 ]; then dll=$wine32/$d.dll; mingw=$mingw32; m=X86
    else dll=$wine64/$d.dll; mingw=$mingw64; m=X64; fi
    put pe_exports_fuzz "$dll" "wine$arch-$d.dll"
    put signatures_fuzz "$dll" "wine$arch-$d.dll"
    put dll_machine_fuzz "$dll" "wine$arch-$d.dll"
    put archive_fuzz "$mingw/lib$d.a" "mingw$arch-lib$d.a"
    if [ -n "$polib" ] && [ -f "$dll" ]; then
      tmp=$(mktemp -d)
      (cd "$tmp" && "$polib" "$dll" /MACHINE:$m /OUT:seed.lib >/dev/null 2>&1) || true
      put archive_fuzz "$tmp/seed.lib" "polib$arch-$d.lib"
      rm -rf "$tmp"
    fi
  done
done
# DLLs with code of their own, small enough to be whole within the target's longest input.
for d in iprop sas mf3216 vcruntime140_1; do
  put signatures_fuzz "$wine32/$d.dll" "wine32-$d.dll"
  put signatures_fuzz "$wine64/$d.dll" "wine64-$d.dll"
done
# The real libraries are large; libFuzzer cuts seeds to the target's longest input, which still
# holds their first member and the start of the second.
for lib in "$testdata"/*.lib; do
  put archive_fuzz "$lib" "testdata-$(basename "$lib")"
done
touch "$out/.stamp"
