#!/usr/bin/env bash
# Runs every benchmark of the build and prints its figures. Usage: bench/run-benchmarks.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"  # the crawl writes debug.txt into the working directory
ln -s "$build/data" data

echo "== crawl steps"
"$build/crawl_bench" --benchmark_min_time=0.2

echo
echo "== a crawl of 300 pages beside curl"
python3 "$here/crawl-vs-curl.py" "$build"

if [ -x "$build/render_bench" ]; then
    echo
    echo "== frames"
    if [ -n "${DISPLAY:-}" ]; then
        "$build/render_bench"
    else
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build/render_bench"
    fi
fi
