#!/usr/bin/env bash
# Crawls the bundled demo site, served on 127.0.0.1, from a run folder under the build.
# Usage: tools/run-demo.sh BUILD_DIR
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
# hardware device, 1024 x 768, 100 pages, windowed
echo "$url,1,3,0,0," >"$run/settings.txt"
(cd "$run" && "$build/linkweave-crawl")
echo "The crawl's trace is in $run/debug.txt"
