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

WIDTH, HEIGHT = 800, 600  # resolution index 2 in settings.txt
SPEEDS = [("x1", 0), ("max", 5)]  # the speed and the presses of + that reach it


def xdo(*args):
    return subprocess.run(["xdotool", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def count(path, line):
    try:
        with open(path, errors="replace") as trace:
            return trace.read().split("\n").count(line)
    except FileNotFoundError:
        return 0


def start_crawl(folder, presses):
    """Sets the speed and clicks the running half of the run-state image, again if the
    first click comes before the window reads its mouse; the click's time, or None."""
    for _ in range(presses):
        xdo("keydown", "equal", "sleep", "0.1", "keyup", "equal", "sleep", "0.1")
    for _ in range(3):
        # The software pointer stops in the top left corner, then goes to the image.
        xdo("mousemove_relative", "--", "-3000", "-3000", "sleep", "0.3",
            "mousemove_relative", "--", "188", str(HEIGHT - 75), "sleep", "0.3")
        clicked = time.monotonic_ns()
        xdo("mousedown", "1", "sleep", "0.1", "mouseup", "1")
        for _ in range(30):
            if count(os.path.join(folder, "debug.txt"), "getting page"):
                return clicked
            time.sleep(0.1)
    return None


def run_speed(build, base, work, speed, presses, seconds):
    folder = os.path.join(work, speed)
    os.makedirs(folder)
    os.symlink(os.path.join(build, "data"), os.path.join(folder, "data"))
    with open(os.path.join(folder, "settings.txt"), "w") as out:
        out.write(f"{base}/index.html,1,2,2,0,\n")  # windowed, 800 x 600, 300 pages
    swaps = os.path.join(folder, "swaps.txt")
    env = dict(os.environ, LD_PRELOAD=os.path.join(build, "liblinkweave_swap_times.so"), LW_SWAP_TIMES=swaps)
    with open(os.path.join(folder, "stderr.txt"), "w") as errors:
        program = subprocess.Popen([os.path.join(build, "linkweave")], cwd=folder, env=env, stderr=errors)
    try:
        found = xdo("search", "--sync", "--onlyvisible", "--pid", str(program.pid), "--name", "^Linkweave$")
        window = found.stdout.split()[-1] if found.stdout.split() else None
        if not window:
            return f"speed {speed}: no window"
        xdo("windowfocus", "--sync", window, "sleep", "1")
        started = start_crawl(folder, presses)
        if started is None:
            return f"speed {speed}: the crawl did not start"
        trace = os.path.join(folder, "debug.txt")
        deadline = started + int(seconds * 1e9)
        while time.monotonic_ns() < deadline and not count(trace, "Done!!"):
            time.sleep(0.2)
        ended = time.monotonic_ns()
        placed = count(trace, "got page")
        done = " (Done!!)" if count(trace, "Done!!") else ""
        after = ""
        if done:  # the same webspace drawn without crawling, to tell the drawing's share
            time.sleep(3)
            after = ("\n           the finished webspace: " +
                     frame_gaps.describe(frame_gaps.swaps(swaps, ended + int(0.5e9), time.monotonic_ns())))
        xdo("key", "Escape")
        program.wait(timeout=10)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    minutes = (ended - started) / 60e9
    frames = frame_gaps.describe(frame_gaps.swaps(swaps, started, ended))
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
