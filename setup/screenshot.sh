#!/bin/sh
# Takes docs/preflight.png: Preflight's dialog with its default selections, on a private
# Xvfb screen just larger than the dialog.
# Usage: setup/screenshot.sh [build directory] [output file]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/preflight.png}
case $out in /*) ;; *) out=$(pwd)/$out ;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# Run in an empty folder so no settings.txt changes what the dialog shows.
cd "$work"
xvfb-run -a -s "-screen 0 360x380x24" sh -c '
    "$1" &
    pid=$!
    if xdotool search --sync --all --onlyvisible --pid "$pid" --name "^Linkweave Setup\$" >/dev/null; then
        sleep 1
        import -window root "$2"
    fi
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' screenshot "$build/preflight" "$out"
test -s "$out"
echo "wrote $out"
