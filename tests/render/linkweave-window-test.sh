#!/bin/bash
# Starts linkweave in a scratch directory under the X display it is given, waits for
# the device set-up to finish, presses Escape and expects exit code 0 and the designed
# start-up trace. Then checks that without a display it says why and exits with 1.
set -u
program=$1
data=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
ln -s "$data" data
echo "http://127.0.0.1:9/,1,3,2,0," > settings.txt

"$program" 2> stderr.txt &
pid=$!
for _ in $(seq 100); do
  grep -q '^Done Setup' debug.txt 2>/dev/null && break
  sleep 0.1
done
win=$(xdotool search --sync --name '^Linkweave$' | head -1)
xdotool windowfocus --sync "$win" key Escape
wait $pid
rc=$?
[ $rc -eq 0 ] || { echo "Escape: exit code $rc, expected 0"; cat stderr.txt; exit 1; }
[ ! -s stderr.txt ] || { echo "unexpected output on standard error:"; cat stderr.txt; exit 1; }
head -3 debug.txt | grep -q '^--------------------------------$' || { echo "debug.txt does not start as designed"; cat debug.txt; exit 1; }
tail -2 debug.txt | head -1 | grep -q '^Done Setup$' || { echo "debug.txt does not end with Done Setup"; exit 1; }

# No display: one line on standard error, exit code 1.
env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$program" 2> nodisplay.txt
rc=$?
[ $rc -eq 1 ] || { echo "no display: exit code $rc, expected 1"; exit 1; }
[ "$(wc -l < nodisplay.txt)" -eq 1 ] || { echo "no display: expected one line:"; cat nodisplay.txt; exit 1; }

# A missing data file: named on standard error; the program still runs and ends on Escape.
rm data && mkdir data && cp "$data/data1" data/
"$program" 2> missing.txt &
pid=$!
win=$(xdotool search --sync --name '^Linkweave$' | head -1)
sleep 0.5
xdotool windowfocus --sync "$win" key Escape
wait $pid
rc=$?
[ $rc -eq 0 ] || { echo "missing data2: exit code $rc"; exit 1; }
grep -q 'data/data2' missing.txt || { echo "missing data2 not reported"; cat missing.txt; exit 1; }
echo "linkweave window test passed"
