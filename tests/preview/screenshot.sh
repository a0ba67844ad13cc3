#!/usr/bin/env bash
# Takes docs/preview.png: preview-demo on a virtual display, captured once it reports that it
# has drawn itself.   tests/preview/screenshot.sh BUILD_DIR [OUT.png]   (a 32-bit Windows tree)
# Runs in a Wine prefix of its own in which "Courier New", which Wine lacks, is DejaVu Sans Mono,
# so the picture shows the monospaced look the preview has on Windows.
set -euo pipefail
build=$(cd "${1:?usage: screenshot.sh BUILD_DIR [OUT.png]}" && pwd)  # Wine wants an absolute prefix
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${2:-$root/docs/preview.png}
demo="$build/tests/preview/preview-demo.exe"
ready=$(mktemp -u /tmp/zandrel-preview-ready.XXXXXX)
export WINEPREFIX="$build/wineprefix-screenshot" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/scripts/wine.sh"
loader=$(zandrel_wine_loader "$demo") || exit 1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  zandrel_wineboot
  "$(zandrel_wine_loader reg)" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Courier New" /d "DejaVu Sans Mono" /f \
    >/dev/null 2>&1
  wineserver -w
fi

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$4" "$1" --ready "Z:${2//\//\\}" & pid=$!
  for _ in $(seq 1 600); do [ -s "$2" ] && break; sleep 0.1; done
  [ -s "$2" ] || { echo "preview-demo did not come up" >&2; kill $pid; exit 1; }
  import -window root -crop "$(cat "$2")" +repage "$3"
  kill $pid; wait $pid 2>/dev/null || true
'  _ "$demo" "$ready" "$out" "$loader"
WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
rm -f "$ready"
echo "wrote $out"
