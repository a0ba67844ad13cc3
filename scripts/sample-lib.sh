#!/usr/bin/env bash
# Writes the sample's import library with our librarian, at build time.
#   sample-lib.sh SOURCE_DIR SAMPLES_DIR POLIB_EXE MACHINE EMULATOR
# The tree's own polib.exe writes it under Wine (EMULATOR) where this machine can run it. Where
# it cannot (a 32-bit program on a machine without 32-bit support), the same librarian built for
# this machine writes it: the same library.
set -euo pipefail
src=$1 samples=$2 polib=$3 machine=$4 emulator=$5
source "$src/scripts/wine.sh"
cd "$samples"
if zandrel_wine_loader "$polib" >/dev/null 2>&1; then
  exec "$emulator" "$polib" zsample.dll /MACHINE:"$machine" /NOUND /OUT:zsample.lib
fi
echo "sample: $ZANDREL_NO_WIN32_REASON; polib built for this machine writes zsample.lib"
host=$samples/host-polib
if [ ! -f "$host/build.ninja" ]; then
  env -u CC -u CXX cmake -G Ninja -S "$src" -B "$host" -DZANDREL_TESTS=OFF >/dev/null
fi
cmake --build "$host" --target polib >/dev/null
exec "$host/bin/polib" zsample.dll /MACHINE:"$machine" /NOUND /OUT:zsample.lib
