#!/usr/bin/env bash
# Runs every benchmark of the build and prints its figures.
# Usage: bench/run-benchmarks.sh BUILD_DIR [BEFORE_BUILD_DIR]
# The second build folder, when given, is the build before a change: the latency bench
# runs its programs beside this build's.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
before=${2:+$(cd "$2" && pwd)}
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
python3 -B "$here/crawl-vs-curl.py" "$build"

# Programs under X: the display in DISPLAY, or Xvfb's.
under_x() {
    if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}

if [ -x "$build/render_bench" ]; then
    echo
    echo "== frames"
    under_x "$build/render_bench"
fi

if [ -x "$build/linkweave" ] && [ -f "$build/liblinkweave_swap_times.so" ]; then
    echo
    echo "== the window's pace on a large site, at one step a frame and at the fastest speed"
    under_x python3 -B "$here/window-pace.py" "$build"  # -B: no __pycache__ in the tree
fi

echo
echo "== a crawl over a network with a round trip, beside wget2, and the window's frames meanwhile"
under_x python3 -B "$here/latency.py" "$build" ${before:+"$before"}
