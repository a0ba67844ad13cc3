#!/usr/bin/env bash
# How right the parameter counts that the librarian reads from a DLL's code are, measured against
# truths nobody here wrote, printed as one table (docs/SIGNATURES.md explains every figure):
#   - Wine's own DLLs of both machines against the argument lists of Wine's .spec files, taken
#     from Debian's `wine` source package of the installed version;
#   - for 32-bit stdcall, also against the decorated names (_Name@N) of MinGW's import libraries.
# gendef (MinGW's tools) runs on every 32-bit module and stands beside ours.
#
# Usage:
#   bash scripts/signatures-eval.sh [OPTIONS]
# Options:
#   --dll NAME[,NAME...]  only these modules (file name, ".dll" may be left off); may repeat
#   --wrong               also list every wrong answer of ours: machine, module, export, truth
#                         source (spec or mingw), truth, our answer, verdict
#   --list VERDICTS       list ours of these verdicts (comma-separated): exact, lower, unknown,
#                         high, low, convention, wrong
#   --no-gendef           leave gendef out (its first run takes about a minute)
#   -h, --help            this text
# Environment:
#   ZANDREL_CACHE  (default /var/cache/zandrel) keeps the .spec files, in wine-spec-VERSION/
#   ZANDREL_BUILD  (default build/) holds the benchmark tree bench-native (shared with
#                  scripts/bench.sh) and gendef's output, in signatures-eval/
# The first run downloads the source package (about 80 MB, removed once the .spec files are out).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${ZANDREL_CACHE:-/var/cache/zandrel}
build=${ZANDREL_BUILD:-$root/build}
x86_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
x64_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
mingw_dir=/usr/i686-w64-mingw32/lib

args=()
gendef=1
while [ $# -gt 0 ]; do
  case $1 in
    --dll|--list) [ $# -ge 2 ] || { echo "signatures-eval: $1 needs a value" >&2; exit 2; }
                  args+=("$1" "$2"); shift 2 ;;
    --wrong) args+=("$1"); shift ;;
    --no-gendef) gendef=0; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "signatures-eval: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

bash "$root/scripts/setup.sh" >/dev/null || { echo "signatures-eval: setup failed" >&2; exit 1; }

# --- The truth: Wine's .spec files of the installed version -------------------------------------
version=$(dpkg-query -W -f='${Version}' wine 2>/dev/null) || true
[ -n "$version" ] || { echo "signatures-eval: Debian's wine package is not installed" >&2; exit 1; }
specs=$cache/wine-spec-$version
if [ ! -f "$specs/complete" ]; then
  echo "== fetching the .spec files of Debian's wine $version source package into $specs" >&2
  work=$cache/wine-source-$version
  as_root rm -rf "$work" "$specs"
  as_root mkdir -p "$work" "$specs"
  (cd "$work" && as_root apt-get source --download-only -qq -o APT::Sandbox::User=root "wine=$version" >/dev/null)
  orig=$(ls "$work"/wine_*.orig.tar.* | head -n 1)
  debian=$(ls "$work"/wine_*.debian.tar.* | head -n 1)
  # Only the .spec files are needed, unless one of Debian's patches changes them: then the
  # whole source is unpacked with the patches applied.
  if as_root tar -xf "$debian" -O --wildcards 'debian/patches/*' 2>/dev/null | grep -qE '^\+\+\+ .*\.spec\b'; then
    echo "== Debian's patches change .spec files: unpacking the whole source" >&2
    (cd "$work" && as_root dpkg-source -x --no-check ./*.dsc src >/dev/null)
    (cd "$work/src" && find dlls -name '*.spec' -print0 | as_root cpio -0pdm --quiet "$specs")
  else
    as_root tar -xf "$orig" -C "$specs" --strip-components=1 --wildcards '*/dlls/*.spec'
  fi
  [ -f "$specs/dlls/kernel32/kernel32.spec" ] || { echo "signatures-eval: no .spec files in $orig" >&2; exit 1; }
  as_root rm -rf "$work"
  echo "$version" | as_root tee "$specs/complete" >/dev/null
fi

# --- The program, in the benchmark tree -----------------------------------------------------------
native=$build/bench-native
if [ ! -f "$native/build.ninja" ]; then
  cmake -G Ninja -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
nice cmake --build "$native" --target signatures_eval >/dev/null \
  || { echo "signatures-eval: building signatures_eval failed" >&2; exit 1; }

# --- gendef's answers, kept until the module changes ------------------------------------------------
if [ "$gendef" -eq 1 ]; then
  out=$build/signatures-eval/gendef32
  mkdir -p "$out"
  made=0
  for f in "$x86_dir"/*; do
    name=${f##*/}
    base=${name%.dll}
    base=${base,,}
    [ -f "$specs/dlls/$base/$base.spec" ] || continue
    def=$out/$name.def
    if [ ! -s "$def" ] || [ "$f" -nt "$def" ]; then
      if gendef - "$f" >"$def.tmp" 2>/dev/null; then mv "$def.tmp" "$def"; made=$((made + 1)); else rm -f "$def.tmp"; fi
    fi
  done
  [ "$made" -eq 0 ] || echo "== gendef ran on $made modules" >&2
  args+=(--gendef-dir "$out")
fi

"$native/bench/signatures_eval" --spec-dir "$specs/dlls" --x86-dir "$x86_dir" --x64-dir "$x64_dir" \
  --mingw-dir "$mingw_dir" --label "Wine's .spec files (Debian wine $version)" "${args[@]}"
