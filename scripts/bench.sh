#!/usr/bin/env bash
# Builds the benchmark trees, runs every benchmark (native and under Wine) beside LLVM's tools on
# the same files, and prints the figures with a table at the end. On demand only: nothing here
# passes or fails, and the figures depend on what else the machine is doing.
#   scripts/bench.sh
# Environment: ZANDREL_BUILD (default build/) holds the trees bench-native and bench-win32 (or
# bench-win64 on a machine that cannot run 32-bit programs), the
# data (bench-data) and the Wine prefixes; ZANDREL_BENCH_RUNS (default 20) sets hyperfine's runs.
# The Windows programs run in a Wine prefix of their own (bench-wineprefix): a test run elsewhere
# that restarts the shared prefix's server would otherwise end them, and their desktop process
# must not outlive this script's display.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZANDREL_BUILD:-$root/build}
runs=${ZANDREL_BENCH_RUNS:-20}
native=$build/bench-native
data=$build/bench-data

bash "$root/scripts/setup.sh" "$build" >/dev/null || { echo "setup failed" >&2; exit 1; }
export WINEPREFIX="$build/bench-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/scripts/wine.sh"
# The Windows figures come from the 32-bit programs we ship; a machine that cannot run 32-bit
# programs measures the 64-bit build instead (the figures keep their ".win32" keys: "Windows").
if [ "$(zandrel_wine32)" = native ]; then
  win32=$build/bench-win32 toolchain=mingw-i686 wine=wine
else
  win32=$build/bench-win64 toolchain=mingw-x86_64 wine=$ZANDREL_WINE64_LOADER
  echo "== this machine cannot run 32-bit programs: the Windows figures are of the 64-bit build"
fi

configure() {  # tree, extra cmake args...
  local tree=$1; shift
  if [ ! -f "$tree/build.ninja" ]; then
    cmake -G Ninja -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null || return 1
  fi
}
echo "== building $native and $win32"
configure "$native" || exit 1
nice cmake --build "$native" --target core_bench librarian_bench bench_data zandrel-cli polib >/dev/null \
  || { echo "native build failed" >&2; exit 1; }
configure "$win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" -DZANDREL_WINEPREFIX="$build/wineprefix" \
  || exit 1
nice cmake --build "$win32" --target bench-wine >/dev/null || { echo "win32 build failed" >&2; exit 1; }

rm -rf "$data"
"$native/bench/bench_data" "$data" || exit 1
figures=$data/figures.tsv
: >"$figures"
export ZANDREL_BENCH_FIGURES=$figures

# A display of our own when there is none.
source "$root/scripts/display.sh"
xvfb_pid=
[ -n "${DISPLAY:-}" ] || start_virtual_display 171 1280x1024x24
# The prefix is this script's own: its server goes first, then the display it used.
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  zandrel_wineboot
fi
# One server for the whole run (it would end after a few idle seconds, and the next program
# would pay for starting it again), and Wine's services started by a first program: neither
# belongs in any figure.
wineserver -p 2>/dev/null || true
$wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

winpath() { echo "Z:$1"; }
nm=$(command -v llvm-nm-16 || command -v llvm-nm)
dlltool=$(command -v llvm-dlltool-16 || command -v llvm-dlltool)
cli=$native/cli/zandrel-cli
polib=$native/bin/polib
[ -x "$polib" ] || polib=$native/librarian/polib

# hyperfine: KEY COMMAND... ; keeps mean and standard deviation (ms) as figures KEY and KEY.sd,
# and the mean processor time (user + system, ms) as KEY.cpu.
timed() {
  local key=$1 csv; shift
  csv=$(mktemp)
  hyperfine -N --style basic -w 2 -r "$runs" --export-csv "$csv" "$@" | grep -E '^(Benchmark|  Time|  Range)'
  tail -n +2 "$csv" | awk -F, -v k="$key" '{ printf "%s\t%.3f\tms\n%s.sd\t%.3f\tms\n%s.cpu\t%.3f\tms\n",
                                                 k, $2 * 1000, k, $3 * 1000, k, ($5 + $6) * 1000 }' >>"$figures"
  rm -f "$csv"
}
# Instructions a command executes (valgrind's callgrind), in millions: KEY COMMAND...
counted() {
  local key=$1 log; shift
  command -v valgrind >/dev/null || return 0
  log=$(mktemp)
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" >/dev/null 2>"$log"
  awk -v k="$key" '/Collected :/ { printf "%s\t%.3f\tM\n", k, $NF / 1e6 }' "$log" >>"$figures"
  rm -f "$log"
}
timed_wine() {  # as timed, fewer runs: every Wine process start costs a good part of a second
  local saved=$runs
  runs=$(( runs > 10 ? 10 : runs ))
  timed "$@"
  runs=$saved
}

echo
echo "== 1. reading synthetic50k.lib (50,000 functions)"
"$native/bench/core_bench" "$data/synthetic50k.lib"
"$wine" "$win32/bench/core_bench.exe" "$(winpath "$data/synthetic50k.lib")"
echo "-- whole commands, output to /dev/null"
cd "$data" || exit 1
timed nm.big "$nm synthetic50k.lib"
timed nm.tiny "$nm synthetic1.lib"
timed cli.big "$cli symbols synthetic50k.lib"
timed cli.tiny "$cli symbols synthetic1.lib"
timed cli.version "$cli --version"
echo "-- instructions executed (callgrind; the same on any load of the machine)"
counted nm.big.instr "$nm" synthetic50k.lib
counted nm.tiny.instr "$nm" synthetic1.lib
counted cli.big.instr "$cli" symbols synthetic50k.lib
counted cli.tiny.instr "$cli" symbols synthetic1.lib
timed_wine wcli.big "$wine $win32/cli/zandrel-cli.exe symbols synthetic50k.lib"
timed_wine wcli.tiny "$wine $win32/cli/zandrel-cli.exe symbols synthetic1.lib"
echo "-- the same symbols: $("$cli" symbols synthetic50k.lib | wc -l) functions from zandrel-cli, " \
     "$("$nm" synthetic50k.lib | grep -c ' T _Synthetic') functions from $(basename "$nm")"

echo
echo "== 2, 3. loading 5,000, 20,000 and 50,000 rows into the real main window (Wine)"
"$wine" "$win32/bench/grid_bench.exe" "$(winpath "$data/synthetic5k.lib")" \
  "$(winpath "$data/synthetic20k.lib")" "$(winpath "$data/synthetic50k.lib")"
echo "-- emptying a table of 50,000 and of 200,000 rows (the most a library may list), each just loaded"
"$native/bench/bench_data" "$data" 200000 &&
  "$wine" "$win32/bench/grid_bench.exe" --clear-only "$(winpath "$data/synthetic50k.lib")" &&
  "$wine" "$win32/bench/grid_bench.exe" --clear-only "$(winpath "$data/synthetic200k.lib")"

echo
echo "== 4. the librarian: 20,000 exports"
"$native/bench/librarian_bench"
echo "-- whole commands"
timed polib.native "$polib exports20k.dll /MACHINE:X86 /OUT:exports20k.lib"
timed dlltool "$dlltool -m i386 -d exports20k.def -l exports20k-llvm.lib"
timed_wine polib.wine "$wine $win32/bin/polib.exe exports20k.dll /MACHINE:X86 /OUT:exports20k.lib"
echo "-- both libraries list $("$nm" exports20k.lib | grep -c '__imp_') and" \
     "$("$nm" exports20k-llvm.lib | grep -c '__imp_') import pointers"

echo
echo "== 5. start-up of zandrel.exe (Wine)"
"$wine" "$win32/bench/startup_bench.exe" "$(winpath "$win32/bin/zandrel.exe")" 7
timed_wine wine.version "$wine $win32/cli/zandrel-cli.exe --version"

echo
echo "== 6. Open DLL with and without the parameter counts read from the code (Wine)"
# The real window in process, polib.exe as the librarian, the requesters answering at once (so
# nothing hides the reading behind the user's choice of a folder); either build opens DLLs of
# both machines.
dlls=()
for dll in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/msvcrt.dll /usr/lib/i386-linux-gnu/wine/i386-windows/msvcrt.dll \
           /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/user32.dll; do
  [ -f "$dll" ] && dlls+=("$(winpath "$dll")")
done
[ ${#dlls[@]} -gt 0 ] && "$wine" "$win32/bench/grid_bench.exe" --open-dll "$(winpath "$win32/bin/polib.exe")" "${dlls[@]}"

# The summary: one line per target.
fig() { awk -F'\t' -v k="$1" '$1 == k { v = $2 } END { if (v == "") print "-"; else print v }' "$figures"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.1f", a / b }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-") print "-"; else printf "%.2f", a - b }'; }
row() { printf '| %-58s | %12s | %s\n' "$1" "$2" "$3"; }

nm_work=$(minus "$(fig nm.big)" "$(fig nm.tiny)")
nm_cpu=$(minus "$(fig nm.big.cpu)" "$(fig nm.tiny.cpu)")
nm_instr=$(minus "$(fig nm.big.instr)" "$(fig nm.tiny.instr)")
echo
echo "== summary (ms; medians of rounds in process, means of hyperfine runs for whole commands)"
row "measurement" "figure" "target"
row "1. ReadLibFile in process, native (warm / first)" "$(fig read.native) / $(fig read-first.native)" ""
row "1. ReadLibFile in process, Wine (warm / first)" "$(fig read.win32) / $(fig read-first.win32)" ""
row "1. llvm-nm's own work (whole minus one-function library)" "$nm_work" ""
row "1.   the same in processor time (user + system)" "$nm_cpu" ""
row "1.   ratio llvm-nm work / our warm read, native" "$(ratio "$nm_work" "$(fig read.native)")x" ">= 30x"
row "1.   ratio llvm-nm work / our first read, native" "$(ratio "$nm_work" "$(fig read-first.native)")x" ""
row "1.   ratio llvm-nm processor time / our warm read" "$(ratio "$nm_cpu" "$(fig read.native)")x" ""
row "1. whole command: llvm-nm" "$(fig nm.big)" ""
row "1. whole command: zandrel-cli symbols, native" "$(fig cli.big)" ""
row "1.   ratio llvm-nm / zandrel-cli, whole commands" "$(ratio "$(fig nm.big)" "$(fig cli.big)")x" ">= 15x"
row "1.   the same in processor time (user + system)" "$(ratio "$(fig nm.big.cpu)" "$(fig cli.big.cpu)")x" ""
row "1. zandrel-cli --version / symbols of a one-function library" "$(fig cli.version) / $(fig cli.tiny)" ""
row "1. instructions (M): llvm-nm / zandrel-cli symbols, whole" "$(fig nm.big.instr) / $(fig cli.big.instr)" ""
row "1.   ratio, whole commands / the work on the file alone" \
    "$(ratio "$(fig nm.big.instr)" "$(fig cli.big.instr)")x / $(ratio "$nm_instr" "$(minus "$(fig cli.big.instr)" "$(fig cli.tiny.instr)")")x" ""
row "1. whole command: zandrel-cli.exe symbols under Wine" "$(fig wcli.big) (start $(fig wcli.tiny))" ""
for n in 5000 20000 50000; do
  row "2. LoadImportLib + final repaint, $n rows" "$(fig load.$n.win32)" \
      "$([ $n = 50000 ] && echo '< 1000, linear')"
done
for n in 50000 200000; do
  row "2. emptying a table of $n rows (ClearRows), Wine" "$(fig clear.$n.win32)" "linear"
done
row "2.   ratio 200,000 / 50,000 rows (linear: 4 or less)" \
    "$(ratio "$(fig clear.200000.win32)" "$(fig clear.50000.win32)")x" "<= 4x"
row "3. GenerateImportSource, 50,000 rows in memory, native" "$(fig generate.native)" "< 50"
row "3. GenerateImportSource, 50,000 rows in memory, Wine" "$(fig generate-rows.win32)" "< 50"
row "3. GenerateFromTable, 50,000 rows from the grid, Wine" "$(fig generate-grid.win32)" "< 50"
row "4. polib, native, whole command" "$(fig polib.native)" "<= llvm-dlltool"
row "4. llvm-dlltool, whole command" "$(fig dlltool)" ""
row "4. polib.exe under Wine, whole command" "$(fig polib.wine)" ""
row "4. BuildImportLibraryFile in process, native" "$(fig polib-build.synthetic20k.native)" ""
for key in msvcrt64 msvcrt32 kernel3264 user3232 shell3264; do
  row "4. counts from the code, $key: all exports / per export" \
      "$(fig signatures.$key.native) / $(fig signatures-each.$key.native) us" ""
done
for key in msvcrt64 msvcrt32; do
  row "4.   $key per export at 1/8, 1/4, 1/2, all of them (us)" \
      "$(for part in $(awk -F'\t' -v k="signatures-per-export.$key." 'index($1, k) == 1 { split($1, p, "."); print p[3] }' "$figures"); do
           printf '%s ' "$(fig signatures-per-export.$key.$part.native)"; done)" "linear"
done
for key in msvcrt64 msvcrt32 user3264; do
  row "6. Open DLL $key: counts read / none (ms)" "$(fig opendll.$key.win32) / $(fig opendll-without.$key.win32)" ""
  row "6.   ratio with / without" "$(fig opendll-ratio.$key.win32)x" "$([ $key = msvcrt64 ] && echo '<= 1.1x')"
  row "6.   ratio with the counts read after the librarian" "$(fig opendll-after-ratio.$key.win32)x" ""
done
row "5. zandrel.exe start to first painted window (Wine)" "$(fig startup.win32)" ""
row "5.   a console process start under Wine (inside Wine)" "$(fig process-start.win32)" ""
row "5.   wine zandrel-cli.exe --version from Linux" "$(fig wine.version)" ""
row "5. main window creation to painted, in process" "$(fig startup-window.win32)" ""
echo "figures: $figures"
