#!/usr/bin/env bash
# Sets up (if needed), builds the native, 32-bit and 64-bit Windows trees and the fuzz tree
# (clang, libFuzzer: each target runs briefly over its seeds) and runs all tests.
#   scripts/test.sh            everything
#   ZANDREL_TREES="native win32" scripts/test.sh    a subset
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZANDREL_BUILD:-$root/build}
trees=${ZANDREL_TREES:-native win32 win64 fuzz}

bash "$root/scripts/setup.sh" "$build" >/dev/null || { echo "setup failed" >&2; exit 1; }
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

configure() {  # tree, extra cmake args...
  local tree=$1; shift
  if [ ! -f "$build/$tree/build.ninja" ]; then
    cmake -G Ninja -S "$root" -B "$build/$tree" "$@" >/dev/null \
      || return 1
  fi
  cmake --build "$build/$tree" || return 1
}

# One virtual display for the whole run when there is none.
source "$root/scripts/display.sh"
xvfb_pid=
[ -n "${DISPLAY:-}" ] || start_virtual_display 150 1280x1024x24
cleanup() {
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Keep one wineserver for the whole run (starting one per test is slow). Wine's background
# services start with the first program; start them here, away from ctest's output pipes, or
# ctest would wait on those pipes for as long as the server lives.
wineserver -k 2>/dev/null || true
wineserver -p 2>/dev/null || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

passed=0; failed=0; status=0
run_tree() {
  local tree=$1 out
  out=$(mktemp)
  (cd "$build/$tree" && ctest --output-on-failure) 2>&1 | tee "$out"
  local line total fail
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
  if [ -z "$line" ]; then status=1; failed=$((failed + 1)); rm -f "$out"; return; fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fail=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fail)); failed=$((failed + fail))
  [ "$fail" -eq 0 ] || status=1
  rm -f "$out"
}

for tree in $trees; do
  echo "== $tree: build"
  case $tree in
    native) configure native -DZANDREL_SANITIZE=ON ;;
    win32) configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
             -DZANDREL_WINEPREFIX="$build/wineprefix" ;;
    win64) configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
             -DZANDREL_WINEPREFIX="$build/wineprefix" ;;
    fuzz) configure fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZANDREL_FUZZ=ON \
            -DZANDREL_TESTS=OFF ;;
    *) echo "unknown tree $tree" >&2; exit 2 ;;
  esac || { echo "== $tree: build failed"; status=1; failed=$((failed + 1)); continue; }
  echo "== $tree: test"
  run_tree "$tree"
done

echo
echo "total: $passed passed, $failed failed"
exit $status
