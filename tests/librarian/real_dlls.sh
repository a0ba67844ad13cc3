#!/usr/bin/env bash
# polib on Wine's own DLLs (files nobody here wrote), judged by outside tools:
#  - zandrel-cli lists every named code export exactly once (llvm-readobj's export names, less
#    the data exports that gendef marks, decorated for the machine, less what the reader skips);
#  - llvm-readobj and llvm-nm read the library without a complaint, and llvm-nm's archive map
#    holds every public symbol;
#  - the public symbols equal those llvm-dlltool makes from gendef's .def of the same exports;
#  - a small C program linked by lld-link against our libraries alone runs under Wine.
# Usage: real_dlls.sh POLIB ZANDREL_CLI LINK_PROBE_C WORK_DIR      (exit 77: skipped)
set -u
polib=$1 cli=$2 probe=$3 work=$4
w32=/usr/lib/i386-linux-gnu/wine/i386-windows
w64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
export LC_ALL=C
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine.sh"

for tool in llvm-readobj-16 llvm-nm-16 llvm-dlltool-16 gendef; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ -d $w32 ] || [ -d $w64 ] || { echo "skipped: no Wine DLLs"; exit 77; }

dlls="kernel32 user32 gdi32 msvcrt ntdll kernelbase advapi32 comctl32 comdlg32 shell32 shlwapi ole32
oleaut32 rpcrt4 ws2_32 winmm version imm32 setupapi crypt32 wininet urlmon opengl32 dbghelp
secur32 iphlpapi netapi32 msi d3d9 dinput8 dsound uxtheme usp10 psapi mpr winhttp riched20
ucrtbase msvcp140 mshtml wined3d"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work"

# Symbols the reader leaves out of its list (bookkeeping, pointers, C++ names).
skipped='^(\x7f|__IMPORT_|__NULL_IM|__imp_|__real@|\?)'
# A stdcall byte count at the end of a name, taken off for comparisons.
undecorate='s/^([^?].*)@[0-9]+$/\1/'

check() {  # machine dll
  local m=$1 dll=$2 name d
  name=$(basename "$dll" .dll)
  d=$work/$m/$name
  mkdir -p "$d"
  (cd "$d" && "$polib" "$dll" /MACHINE:$m /NOUND /OUT:$name.lib >polib.out 2>polib.err) \
    || { fail "$m $name: polib: $(cat "$d/polib.err")"; return; }
  [ -s "$d/polib.err" ] && fail "$m $name: polib warned: $(cat "$d/polib.err")"

  llvm-readobj-16 --coff-exports "$dll" | sed -n 's/^  Name: \(..*\)$/\1/p' | sort -u >"$d/names"
  gendef - "$dll" >"$d/gendef.def" 2>/dev/null
  # gendef's lines, reduced to the real export names (it adds stdcall "@N" where it guesses one,
  # writes forwarders as "name = target" and names ordinal-only exports "ord_N").
  awk -v lib="$name.dll" '
    NR == FNR { real[$0] = 1; next }
    /^EXPORTS/ { print "LIBRARY \"" lib "\""; print "EXPORTS"; on = 1; next }
    !on || /^;/ || NF == 0 { next }
    {
      n = $1; gsub(/"/, "", n)
      if (!(n in real)) { s = n; sub(/@[0-9]+$/, "", s); if (!(s in real)) next; n = s }
      if (seen[n]++) next
      print n ($0 ~ / DATA( |$)/ ? " DATA" : "")
    }' "$d/names" "$d/gendef.def" >"$d/plain.def"
  awk '$2 == "DATA" { print $1 }' "$d/plain.def" | sort >"$d/data"

  # What the reader must list. The stdcall byte count that polib adds where the code shows one
  # ("_Name@8" for "Name") is taken off both sides here: decorated_link.sh and the unit tests
  # judge it.
  comm -23 "$d/names" "$d/data" |
    if [ $m = X86 ]; then sed -E '/^([?@]|_.*@[0-9]+$)/!s/^/_/'; else cat; fi |
    grep -avE "$skipped" | sed -E "$undecorate" | sort >"$d/expected"
  "$cli" symbols "$d/$name.lib" >"$d/symbols" || fail "$m $name: zandrel-cli symbols failed"
  cut -f1 "$d/symbols" | sed -E "$undecorate" | sort >"$d/listed"
  # Names that got a byte count, each with the count the reader gives back.
  if [ $m = X86 ]; then
    local added
    added=$(grep -aE '^_[^@]*@[0-9]+'$'\t' "$d/symbols" | while IFS=$'\t' read -r sym count _; do
      base=${sym#_}; base=${base%@*}
      grep -qxF "$base" "$d/names" || continue  # decorated in the DLL already
      [ "$count" -eq $((${sym##*@} / 4)) ] || echo "bad $sym $count"
      echo "$sym"
    done)
    grep -q '^bad ' <<<"$added" && fail "$m $name: counts of decorated names: $(grep '^bad ' <<<"$added" | head -3)"
    echo "$m $name: $(grep -vc '^bad \|^$' <<<"$added") of $(wc -l <"$d/listed") functions decorated"
  fi
  if ! cmp -s "$d/expected" "$d/listed"; then
    fail "$m $name: listed names differ from the DLL's exports"
    diff "$d/expected" "$d/listed" | head -5
  fi
  [ "$(wc -l <"$d/listed")" -gt 0 ] || [ "$(wc -l <"$d/expected")" -eq 0 ] || fail "$m $name: nothing listed"

  # Outside readers: no complaint; the archive map holds every symbol of the library.
  llvm-readobj-16 "$d/$name.lib" >"$d/readobj.out" 2>"$d/readobj.err" \
    || fail "$m $name: llvm-readobj failed"
  [ -s "$d/readobj.err" ] && fail "$m $name: llvm-readobj: $(head -3 "$d/readobj.err")"
  local imports
  imports=$(grep -c 'Format: COFF-import-file' "$d/readobj.out")
  [ "$imports" -eq "$(wc -l <"$d/plain.def" | awk '{print $1 - 2}')" ] \
    || fail "$m $name: $imports import objects for $(($(wc -l <"$d/plain.def") - 2)) named exports"
  llvm-nm-16 --print-armap "$d/$name.lib" >"$d/nm.out" 2>"$d/nm.err" || fail "$m $name: llvm-nm failed"
  [ -s "$d/nm.err" ] && fail "$m $name: llvm-nm: $(head -3 "$d/nm.err")"
  awk '/^Archive map/ { on = 1; next } on && NF == 0 { exit } on { sub(/ in [^ ]*$/, ""); print }' \
    "$d/nm.out" | sed -E "$undecorate" | sort >"$d/ours.map"

  # The same exports through llvm-dlltool.
  local dm
  dm=$([ $m = X86 ] && echo i386 || echo i386:x86-64)
  llvm-dlltool-16 -m $dm -d "$d/plain.def" -l "$d/ref.lib" 2>"$d/dlltool.err" \
    || { fail "$m $name: llvm-dlltool: $(head -3 "$d/dlltool.err")"; return; }
  llvm-nm-16 --print-armap "$d/ref.lib" 2>/dev/null |
    awk '/^Archive map/ { on = 1; next } on && NF == 0 { exit } on { sub(/ in [^ ]*$/, ""); print }' |
    sed -E "$undecorate" |
    if [ $m = X86 ]; then
      # An export the DLL names "_Name@N" keeps that public name with us, as with Microsoft's
      # librarian; llvm-dlltool puts another "_" in front.
      awk 'NR == FNR { if ($0 ~ /^_.*@[0-9]+$/) { b = $0; sub(/@[0-9]+$/, "", b); own[b] = 1 } next }
           { s = $0
             if (substr(s, 2) in own) s = substr(s, 2)
             else if (substr(s, 1, 7) == "__imp__" && (substr(s, 8) in own)) s = "__imp_" substr(s, 8)
             print s }' "$d/names" -
    else cat; fi | sort >"$d/ref.map"
  if ! cmp -s "$d/ours.map" "$d/ref.map"; then
    fail "$m $name: public symbols differ from llvm-dlltool's"
    diff "$d/ref.map" "$d/ours.map" | head -5
  fi
}

count=0
for m in X86 X64; do
  dir=$([ $m = X86 ] && echo $w32 || echo $w64)
  [ -d $dir ] || continue
  largest=$(ls -S $dir/*.dll | head -n 1)
  for n in $dlls; do
    [ -f "$dir/$n.dll" ] && { check $m "$dir/$n.dll"; count=$((count + 1)); }
  done
  check $m "$largest"
  count=$((count + 1))
done
echo "checked $count libraries"

# Link and run: only our libraries, no C runtime start-up, under Wine.
link_and_run() {  # machine compiler
  local m=$1 cc=$2 d=$work/$1/link
  mkdir -p "$d"
  command -v $cc >/dev/null && command -v lld-link-16 >/dev/null || { echo "link $m: skipped (no $cc or lld-link-16)"; return; }
  # Each function under the public name our library gives it: on x86 stdcall ones carry their
  # byte count where polib read it from the code.
  local fn lib sym
  : >"$d/probe_names.h"
  for fn in msvcrt:printf msvcrt:strtol msvcrt:exit kernel32:lstrlenA kernel32:GetCurrentProcessId \
            kernel32:GetLastError kernel32:SetLastError kernel32:GetProcessHeap kernel32:HeapAlloc \
            user32:CharUpperA gdi32:GetStockObject; do
    lib=${fn%%:*} fn=${fn#*:}
    if [ $m = X86 ]; then
      sym=$("$cli" symbols "$work/$m/$lib/$lib.lib" | cut -f1 | grep -aE "^_$fn(@[0-9]+)?\$" | head -n 1)
    else
      sym=$fn
    fi
    [ -n "$sym" ] || { fail "link $m: $fn is not in $lib.lib"; return; }
    echo "#define NAME_$fn \"$sym\"" >>"$d/probe_names.h"
  done
  echo "link $m: $(grep -c '@' "$d/probe_names.h") of $(wc -l <"$d/probe_names.h") functions by decorated names"
  $cc -c -O1 -ffreestanding -fno-builtin -fno-asynchronous-unwind-tables -I"$d" "$probe" -o "$d/probe.o" \
    || { fail "link $m: compiling the probe"; return; }
  local libs=""
  for n in kernel32 user32 gdi32 msvcrt; do libs="$libs $work/$m/$n/$n.lib"; done
  lld-link-16 /nologo /nodefaultlib /entry:entry /subsystem:console /safeseh:no /out:"$d/probe.exe" \
    "$d/probe.o" $libs >"$d/link.out" 2>&1 || { fail "link $m: $(head -5 "$d/link.out")"; return; }
  command -v wine >/dev/null || { echo "run $m: skipped (no wine)"; return; }
  local loader
  loader=$(zandrel_wine_loader "$d/probe.exe" 2>/dev/null) \
    || { echo "run $m: skipped ($ZANDREL_NO_WIN32_REASON)"; return; }
  # Output to files: Wine's server outlives the program and must not hold the test's pipes.
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="${WINEPREFIX:-$work.wineprefix}" \
    "$loader" "$d/probe.exe" </dev/null >"$d/run.out" 2>"$d/run.err" || fail "run $m: exit status $?"
  local want
  want=$'lstrlenA=5\nGetLastError=1234\npid=nonzero\nHeapAlloc=zeroed\nstrtol=-4711\nmb_cur_max=1\nCharUpperA=ZANDREL\nGetStockObject=handle'
  [ "$(tr -d '\r' <"$d/run.out")" = "$want" ] || { fail "run $m: output"; cat "$d/run.out" "$d/run.err" | head -20; }
  echo "run $m: ok"
}
[ -d $w32 ] && link_and_run X86 i686-w64-mingw32-gcc-posix
[ -d $w64 ] && link_and_run X64 x86_64-w64-mingw32-gcc-posix

echo "$failures failures"
[ $failures -eq 0 ]
