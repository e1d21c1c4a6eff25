#!/bin/bash
# Renders a made-up webspace with the real renderer and writes docs/webspace.png.
# Usage: tools/screenshot-webspace.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cmake --build "$build" --target webspace-snapshot -j2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ln -s "$build/data" data
if [ -n "${DISPLAY:-}" ]; then
  "$build/webspace-snapshot" shot.bmp
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/webspace-snapshot" shot.bmp
fi
mkdir -p "$root/docs"
convert shot.bmp "$root/docs/webspace.png"
echo "wrote $root/docs/webspace.png"
