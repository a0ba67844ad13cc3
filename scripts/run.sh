#!/usr/bin/env bash
# Sets up (if needed), builds and runs Zandrel. Until the window program exists this runs the
# command-line front end on FILE, or on the bundled sample library when no file is given.
#   scripts/run.sh [FILE]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZANDREL_BUILD:-$root/build}
bash "$root/scripts/setup.sh" "$build" >/dev/null
if [ ! -f "$build/native/build.ninja" ]; then
  cmake -G Ninja -S "$root" -B "$build/native" -DZANDREL_SANITIZE=ON >/dev/null
fi
cmake --build "$build/native" --target zandrel-cli >/dev/null
file=${1:-}
if [ -z "$file" ]; then
  # The sample: a small import library made from samples/zsample.def.
  mkdir -p "$build/sample"
  file=$build/sample/zsample.lib
  llvm-dlltool-16 -d "$root/samples/zsample.def" -m i386 -l "$file"
fi
echo "== symbols of $file"
"$build/native/cli/zandrel-cli" symbols "$file"
echo "== import block"
"$build/native/cli/zandrel-cli" import "$file" | tr -d '\r'
