#!/bin/bash
# F12 under X: linkweave saves one PNG of the window's size per press, however long the
# key is held, and its pixels are the window's.
set -eu
program=$1
dir=$(mktemp -d)
trap 'kill $pid 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"
ln -s "$2" data
echo "http://127.0.0.1:9/,1,2,2,0," > settings.txt  # 800 x 600; the crawl waits, so nothing is fetched
"$program" 2> stderr.txt &
pid=$!
win=$(timeout 20 xdotool search --sync --name '^Linkweave$' | head -1)
# The view glides to the root at first; the picture is compared once it has come to rest.
xdotool windowfocus --sync "$win"
for _ in $(seq 40); do
  import -window "$win" a.png; sleep 0.3; import -window "$win" b.png
  [ "$(compare -metric AE a.png b.png null: 2>&1 || true)" = 0 ] && break
done
rm -f a.png b.png
# Held for 1.5 s, the key repeats many times over: still one picture.
xdotool keydown F12 sleep 1.5 keyup F12 sleep 0.5
import -window "$win" window.png  # now with "Saved linkweave-001.png" under the banner
xdotool key F12 sleep 0.5
[ "$(echo linkweave-*.png)" = "linkweave-001.png linkweave-002.png" ] || { echo "pictures: $(ls)"; exit 1; }
[ "$(identify -format %wx%h linkweave-001.png)" = 800x600 ] || { echo "size: $(identify linkweave-001.png)"; exit 1; }
# Below the note the picture is the window, pixel for pixel; the window shows the note.
convert linkweave-001.png -crop 800x570+0+30 picture.png
convert window.png -crop 800x570+0+30 shown.png
[ "$(compare -metric AE picture.png shown.png null: 2>&1)" = 0 ] || { echo "picture differs from the window"; exit 1; }
[ "$(compare -metric AE linkweave-001.png window.png null: 2>&1 || true)" != 0 ] || { echo "no note on screen"; exit 1; }
echo "F12 picture test passed"
