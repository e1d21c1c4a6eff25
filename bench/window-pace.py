#!/usr/bin/env python3
"""How fast the window places the pages of a large site, at one crawl step a frame and at
the fastest speed, and how smooth its frames stay meanwhile.

Serves the 300-page documentation tree of doc_tree.py (pages of 1,000 to 2,000 tags) on
127.0.0.1, and for each speed starts linkweave in a window of 800 x 600 on the X display
in DISPLAY, with liblinkweave_swap_times.so preloaded to stamp every frame it presents.
It sets the speed with the + key, clicks the running half of the run-state image and
counts the pages placed ("got page" in debug.txt) until "Done!!" or the speed's time is
up. It prints the pages placed a minute and the gaps between frames while the crawl ran
(frame_gaps.py), and for a crawl that finished, the gaps of the finished webspace drawn
for a few seconds more: what the drawing alone costs. Figures only: nothing here passes
or fails.

Usage: window-pace.py BUILD_DIR [SECONDS_AT_X1 [SECONDS_AT_MOST]]   (default 60 and 300)
"""
import os
import subprocess
import sys
import tempfile
import time

import doc_tree
import frame_gaps
from window_run import WIDTH, HEIGHT, Window, count, start_crawl

SPEEDS = [("x1", 0), ("max", 5)]  # the speed and the presses of + that reach it


def run_speed(build, base, work, speed, presses, seconds):
    window = Window(build, os.path.join(work, speed), f"{base}/index.html")
    try:
        if not window.window:
            return f"speed {speed}: no window"
        started = start_crawl(window.folder, presses)
        if started is None:
            return f"speed {speed}: the crawl did not start"
        deadline = started + int(seconds * 1e9)
        while time.monotonic_ns() < deadline and not count(window.trace, "Done!!"):
            time.sleep(0.2)
        ended = time.monotonic_ns()
        placed = count(window.trace, "got page")
        done = " (Done!!)" if count(window.trace, "Done!!") else ""
        after = ""
        if done:  # the same webspace drawn without crawling, to tell the drawing's share
            time.sleep(3)
            after = ("\n           the finished webspace: " +
                     frame_gaps.describe(frame_gaps.swaps(window.swaps, ended + int(0.5e9), time.monotonic_ns())))
    finally:
        window.close()
    minutes = (ended - started) / 60e9
    frames = frame_gaps.describe(frame_gaps.swaps(window.swaps, started, ended))
    return (f"speed {speed:>3}: {placed} pages placed in {minutes * 60:.1f} s{done}: "
            f"{placed / minutes:.1f} pages a minute\n           while crawling:        {frames}{after}")


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    limits = {"x1": float(sys.argv[2]) if len(sys.argv) > 2 else 60.0,
              "max": float(sys.argv[3]) if len(sys.argv) > 3 else 300.0}
    os.environ["no_proxy"] = os.environ["NO_PROXY"] = "127.0.0.1"
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        doc_tree.generate(tree)
        server = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
                                   tree, "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            port = int(server.stdout.readline().split(" port ")[1].split()[0])
            print(f"{doc_tree.PAGES} pages of {doc_tree.MIN_TAGS:,} to {doc_tree.MAX_TAGS:,} tags from http.server "
                  f"on 127.0.0.1, linkweave in a window of {WIDTH} x {HEIGHT}:", flush=True)
            for speed, presses in SPEEDS:
                print("  " + run_speed(build, f"http://127.0.0.1:{port}", work, speed, presses, limits[speed]),
                      flush=True)
            # The same steps in the same order: the slower crawl's trace, but for the entry it
            # was writing as it was stopped, begins the faster one's.
            traces = [open(os.path.join(work, speed, "debug.txt"), errors="replace").read().split("\n")
                      for speed, _ in SPEEDS]
            shorter = traces[0][:-3]
            same = "the same" if traces[1][:len(shorter)] == shorter else "NOT the same"
            print(f"  debug.txt at x1 ({len(shorter)} lines) and the same lines at max: {same}")
        finally:
            server.terminate()
            server.wait()


if __name__ == "__main__":
    main()
