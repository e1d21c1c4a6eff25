#!/usr/bin/env bash
# Runs Linkweave on the bundled demo site, served on 127.0.0.1, from a run folder under
# the build: Preflight first, whose Save starts Linkweave. Without a display, the crawl
# runs without graphics instead. Usage: tools/run-demo.sh BUILD_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
run="$build/run-demo"
mkdir -p "$run"

source "$top/tools/serve-site.sh"
serve_site "$top/demo" "$run/server.log"
trap 'kill $SITE_PID 2>/dev/null || true' EXIT
url="http://127.0.0.1:$SITE_PORT/index.html"
echo "Demo site served at $url"

# The demo's address changes with its port: put the current one into settings.txt,
# keeping the other choices, unless the user has pointed Linkweave somewhere else.
if [ -f "$run/settings.txt" ] && ! grep -q '^http://127\.0\.0\.1:' "$run/settings.txt"; then
    echo "Keeping the initial URL of $run/settings.txt"
elif [ -f "$run/settings.txt" ]; then
    sed -i "1s|^[^,]*|$url|" "$run/settings.txt"
else
    echo "$url,1,3,0,0," >"$run/settings.txt"  # hardware device, 1024 x 768, 100 pages, windowed
fi

if [ -z "${DISPLAY:-}" ]; then
    echo "No display: crawling the demo without graphics. 'make screenshot' renders a crawl to build/crawl.png."
    (cd "$run" && "$build/linkweave-crawl")
    echo "The crawl's trace is in $run/debug.txt"
    exit 0
fi

# Preflight starts the linkweave beside it, which finds its data files beside itself.
(cd "$run" && "$build/preflight")
# Preflight starts Linkweave detached and ends; the site is served until Linkweave ends too.
while pids=$(pgrep -x linkweave || true); [ -n "$pids" ]; do
    running=
    for pid in $pids; do
        [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$run" ] && running=1
    done
    [ -n "$running" ] || break
    sleep 1
done
echo "Linkweave's trace is in $run/debug.txt"
