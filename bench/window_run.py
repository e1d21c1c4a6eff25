#!/usr/bin/env python3
"""Linkweave in a window, driven from outside: started in a folder of its own on a site,
its frames stamped by liblinkweave_swap_times.so, its speed set with the + key and the
crawl started with a click on the running half of the run-state image. Imported by
window-pace.py and latency.py."""
import os
import subprocess
import time

WIDTH, HEIGHT = 800, 600  # resolution index 2 in settings.txt
SIZES = {(400, 300): 0, (640, 480): 1, (800, 600): 2, (1024, 768): 3}  # resolution indexes


def xdo(*args):
    return subprocess.run(["xdotool", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def count(path, line):
    """How often the line stands in the file (0 while it is missing)."""
    try:
        with open(path, errors="replace") as trace:
            return trace.read().split("\n").count(line)
    except FileNotFoundError:
        return 0


def start_crawl(folder, presses, height=HEIGHT):
    """Sets the speed and clicks the running half of the run-state image of a window
    `height` pixels high, again if the first click comes before the window reads its
    mouse; the click's time, or None."""
    for _ in range(presses):
        xdo("keydown", "equal", "sleep", "0.1", "keyup", "equal", "sleep", "0.1")
    for _ in range(3):
        # The software pointer stops in the top left corner, then goes to the image.
        xdo("mousemove_relative", "--", "-3000", "-3000", "sleep", "0.3",
            "mousemove_relative", "--", "188", str(height - 75), "sleep", "0.3")
        clicked = time.monotonic_ns()
        xdo("mousedown", "1", "sleep", "0.1", "mouseup", "1")
        for _ in range(30):
            if count(os.path.join(folder, "debug.txt"), "getting page"):
                return clicked
            time.sleep(0.1)
    return None


class Window:
    """linkweave started in folder on start_url, in a window of `size` (800 x 600 unless
    said), its swaps written to swaps.txt there; `window` is its X window, or None when
    it did not show."""

    def __init__(self, build, folder, start_url, size=(WIDTH, HEIGHT)):
        os.makedirs(folder)
        os.symlink(os.path.join(build, "data"), os.path.join(folder, "data"))
        with open(os.path.join(folder, "settings.txt"), "w") as out:
            out.write(f"{start_url},1,{SIZES[size]},2,0,\n")  # windowed, 300 pages
        self.folder = folder
        self.swaps = os.path.join(folder, "swaps.txt")
        self.trace = os.path.join(folder, "debug.txt")
        env = dict(os.environ, LD_PRELOAD=os.path.join(build, "liblinkweave_swap_times.so"), LW_SWAP_TIMES=self.swaps)
        with open(os.path.join(folder, "stderr.txt"), "w") as errors:
            self.program = subprocess.Popen([os.path.join(build, "linkweave")], cwd=folder, env=env, stderr=errors)
        found = xdo("search", "--sync", "--onlyvisible", "--pid", str(self.program.pid), "--name", "^Linkweave$")
        self.window = found.stdout.split()[-1] if found.stdout.split() else None
        if self.window:
            xdo("windowfocus", "--sync", self.window, "sleep", "1")

    def close(self):
        if self.window:
            xdo("key", "Escape")
            try:
                self.program.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        if self.program.poll() is None:
            self.program.kill()
            self.program.wait()
