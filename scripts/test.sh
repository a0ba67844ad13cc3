#!/usr/bin/env bash
# Sets up (if needed), builds the native, 32-bit and 64-bit Windows trees and the fuzz tree
# (clang, libFuzzer: each target runs briefly over its seeds), runs all tests, then the smoke
# test of the 32-bit zandrel.exe (tests/app/smoke32.sh). On a machine that cannot run 32-bit
# programs the win32 tree is built and its tests are reported skipped; Windows programs run with
# Wine's 64-bit loader (scripts/wine.sh). ZANDREL_NO_WIN32=1 takes that path on any machine.
#   scripts/test.sh            everything
#   ZANDREL_TREES="native win32" scripts/test.sh    a subset
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZANDREL_BUILD:-$root/build}
trees=${ZANDREL_TREES:-native win32 win64 fuzz}

bash "$root/scripts/setup.sh" "$build" >/dev/null || { echo "setup failed" >&2; exit 1; }
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/scripts/wine.sh"
wine32=$(zandrel_wine32)
if [ "$wine32" != native ]; then
  echo "== this machine cannot run 32-bit programs natively: every tree is built, the win32 tree's" \
       "tests are skipped, Windows programs run with Wine's 64-bit loader; the smoke test runs the" \
       "32-bit zandrel.exe"
fi

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
zandrel_wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

passed=0; failed=0; skipped=0; status=0
run_tree() {
  local tree=$1 out
  out=$(mktemp)
  (cd "$build/$tree" && ctest --output-on-failure) 2>&1 | tee "$out"
  local line total fail skip
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
  if [ -z "$line" ]; then status=1; failed=$((failed + 1)); rm -f "$out"; return; fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fail=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  # ctest counts a skipped test among the passed ones and lists it under "did not run".
  skip=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$out")
  passed=$((passed + total - fail - skip)); failed=$((failed + fail)); skipped=$((skipped + skip))
  [ "$skip" -eq 0 ] || echo "== $tree: $skip skipped${2:+ ($2)}"
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
  reason=
  [ "$tree" = win32 ] && [ "$wine32" != native ] && reason=$ZANDREL_NO_WIN32_REASON
  run_tree "$tree" "$reason"
done

# The shipped 32-bit program on its own, wherever 32-bit programs can be run at all.
if [[ " $trees " == *" win32 "* ]] && [ -f "$build/win32/bin/zandrel.exe" ]; then
  echo "== smoke32: the 32-bit zandrel.exe"
  start=$SECONDS
  bash "$root/tests/app/smoke32.sh" "$build"
  case $? in
    0) passed=$((passed + 1)); echo "== smoke32: passed in $((SECONDS - start)) s" ;;
    77) skipped=$((skipped + 1)); echo "== smoke32: skipped" ;;
    *) failed=$((failed + 1)); status=1; echo "== smoke32: FAILED after $((SECONDS - start)) s" ;;
  esac
fi

echo
echo "total: $passed passed, $failed failed, $skipped skipped"
exit $status
