#!/usr/bin/env bash
# Runs every benchmark of the build and prints its figures. Usage: bench/run-benchmarks.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"  # the crawl writes debug.txt into the working directory
for bench in crawl_bench render_bench; do
    if [ -x "$build/$bench" ]; then
        echo "== $bench"
        "$build/$bench" --benchmark_min_time=0.2
    fi
done
