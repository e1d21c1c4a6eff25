#!/bin/bash
# Crawls the bundled demo site with the real linkweave under a private X server and
# saves the window as a PNG: the pointer clicks Running, the crawl runs a few seconds,
# and the window is saved.
# Usage: tools/screenshot-crawl.sh [BUILD_DIR] [SECONDS] [PICTURE]
#        (defaults: build, 6, BUILD_DIR/crawl.png; docs/crawl.png is the README's)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-6}
picture=$(realpath -m "${3:-$build/crawl.png}")
# Without a display, the script runs itself again under a private X server.
if [ -z "${DISPLAY:-}" ]; then
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$seconds" "$picture"
fi
cmake --build "$build" --target linkweave -j2
work=$(mktemp -d)
cleanup() {
[ -n "${LW_PID:-}" ] && kill "$LW_PID" 2>/dev/null || true
[ -n "${SITE_PID:-}" ] && kill "$SITE_PID" 2>/dev/null || true
rm -rf "$work"
}
trap cleanup EXIT
source "$root/tools/serve-site.sh"
serve_site "$root/demo" "$work/http.log"
cd "$work"
echo "http://127.0.0.1:$SITE_PORT/index.html,1,2,2,0," > settings.txt

"$build/linkweave" 2> stderr.txt &
LW_PID=$!
win=$(xdotool search --sync --pid "$LW_PID" --name '^Linkweave$' | head -1)
xdotool windowfocus --sync "$win"
sleep 0.5
# The software pointer goes to the corner, then onto the Running half (800 x 600).
xdotool mousemove_relative -- -3000 -3000; sleep 0.2
xdotool mousemove_relative -- 188 525; sleep 0.3
xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
sleep "$seconds"
xdotool mousemove_relative -- 300 -200; sleep 0.5
import -window "$win" shot.png
xdotool key Escape
wait "$LW_PID" || true
LW_PID=
mkdir -p "$(dirname "$picture")"
cp shot.png "$picture"
echo "wrote $picture"
