#!/usr/bin/env bash
# Builds the libFuzzer tree and runs each fuzz target for a while, one after the other, over
# its seeds and its own corpus (kept between runs), then prints a table of what each run did.
#   scripts/fuzz.sh [SECONDS] [TARGET...]      default: 600 seconds for every target
# Environment: ZANDREL_BUILD (default build/) holds the tree, as ZANDREL_BUILD/fuzz.
# Exit status 1 when a target had a finding (crash, leak, timeout, out of memory); the
# reproducer is named and replays with: ZANDREL_BUILD/fuzz/tests/fuzz/TARGET FILE
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZANDREL_BUILD:-$root/build}
tree=$build/fuzz
seconds=600
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi

bash "$root/scripts/setup.sh" >/dev/null || { echo "setup failed" >&2; exit 2; }
mkdir -p "$tree/logs"
if [ ! -f "$tree/build.ninja" ]; then
  cmake -G Ninja -S "$root" -B "$tree" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DZANDREL_FUZZ=ON -DZANDREL_TESTS=OFF >"$tree/logs/configure.log" 2>&1 \
    || { cat "$tree/logs/configure.log" >&2; echo "configure failed" >&2; exit 2; }
fi
# The machine is shared: build and fuzz at low priority.
nice cmake --build "$tree" >"$tree/logs/build.log" 2>&1 \
  || { cat "$tree/logs/build.log" >&2; echo "build failed" >&2; exit 2; }

# Name and libFuzzer options of every target, as tests/fuzz/CMakeLists.txt set them.
declare -A options
all=()
while read -r name opts; do
  options[$name]=$opts
  all+=("$name")
done <"$tree/fuzz-targets.txt"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
for t in "${targets[@]}"; do
  [ -n "${options[$t]+set}" ] || { echo "unknown target $t (known: ${all[*]})" >&2; exit 2; }
done

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
findings_total=0
rows=()
reports=()
for t in "${targets[@]}"; do
  log=$tree/logs/$t.log
  found=$tree/findings/$t
  mkdir -p "$tree/corpus/$t" "$found"
  before=$(ls "$found")
  echo "== $t: $seconds s"
  # -max_total_time ends the run; the outer limit only guards against a fuzzer that never ends.
  # shellcheck disable=SC2086  # the options are words
  timeout --signal=INT --kill-after=60 $((seconds * 2 + 300)) \
    nice "$tree/tests/fuzz/$t" ${options[$t]} -max_total_time="$seconds" \
    "$tree/corpus/$t" "$tree/seeds/$t" >"$log" 2>&1
  rc=$?

  execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  speed=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -n 1)
  [ -n "$execs" ] || execs=$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last")
  [ -n "$speed" ] || speed=$(sed -nE 's/.* exec\/s: ([0-9]+).*/\1/p' <<<"$last")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  units=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<<"$last")  # inputs libFuzzer keeps in use
  files=$(find "$tree/corpus/$t" -type f | wc -l)              # all it ever saved

  new=$(comm -13 <(echo "$before" | sort) <(ls "$found" | sort) \
    | grep -E '^(crash|leak|timeout|oom)-' || true)
  count=$(grep -c . <<<"$new")
  result="none"
  if [ "$count" -gt 0 ]; then
    result="$count"
    while read -r f; do reports+=("$t: $found/$f (log $log)"); done <<<"$new"
  elif [ "$rc" -ne 0 ]; then
    # A failure that left no reproducer (the fuzzer could not start, or was stopped).
    count=1
    result="exit $rc"
    reports+=("$t: exit status $rc without a reproducer (log $log)")
  fi
  findings_total=$((findings_total + count))
  printf '%s: %s executions, %s exec/s, cov %s, ft %s, corpus %s inputs (%s files), findings: %s\n' \
    "$t" "${execs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${units:-?}" "$files" "$result"
  rows+=("$(printf '%-26s %12s %9s %6s %7s %7s %7s  %s' "$t" "${execs:-?}" "${speed:-?}" "${cov:-?}" \
    "${ft:-?}" "${units:-?}" "$files" "$result")")
done

echo
printf '%-26s %12s %9s %6s %7s %7s %7s  %s\n' target executions exec/s cov ft corpus files findings
for r in "${rows[@]}"; do echo "$r"; done
if [ "$findings_total" -gt 0 ]; then
  echo
  echo "findings:"
  for r in "${reports[@]}"; do echo "  $r"; done
  exit 1
fi
