#!/usr/bin/env python3
"""A crawl over a network with a round trip, beside wget2, and the window's frames meanwhile.

Serves the 300-page documentation tree of doc_tree.py (pages of 200 to 400 tags) on
127.0.0.1 from a threaded server that answers each request D ms after it came, standing
in for the round trip to a far site (D = 0, 50, 100); it keeps connections alive and
serves any number at once. For each D it runs linkweave-crawl and `wget2 -r` with 5
connections in turn, ROUNDS times, and prints the median wall times, their ratio and the
most connections each had open at once. Given a second build folder (the build before a
change), its linkweave-crawl runs beside them, once per D.

Then, at D = 100 ms, linkweave in a window of 400 x 300 and of 800 x 600
(liblinkweave_swap_times.so stamping its frames) crawls the tree at the fastest speed,
and then the same tree in which one page never answers; it prints the gaps between
frames while it crawls (median, 99th percentile, longest) and, for a crawl that
finished, the gaps of the finished webspace drawn without crawling: what the drawing
alone costs, which on a software rasteriser grows with the window. The build before a change,
if given, does the same. Figures only: nothing here passes or fails.

Usage: latency.py BUILD_DIR [BEFORE_BUILD_DIR]   (ROUNDS from LW_LATENCY_ROUNDS, default 5)
"""
import http.server
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import doc_tree
import frame_gaps
from window_run import Window, count, start_crawl

DELAYS_MS = (0, 50, 100)
CONNECTIONS = 5
NEVER = "/docs/sec0/page3.html"  # the page that never answers, in the second window run


class SlowHandler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # connections kept alive

    def setup(self):
        super().setup()
        # As real servers do: a head and its body written apart would otherwise wait on
        # the client's delayed acknowledgement, 40 ms an answer on a kept connection.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.server.opened()

    def finish(self):
        super().finish()
        self.server.closed()

    def do_GET(self):
        if self.path == self.server.never:
            self.server.stopping.wait()  # never answers, until the server stops
            return
        time.sleep(self.server.delay_ms / 1000)
        super().do_GET()

    def log_message(self, *args):
        pass


class SlowServer(http.server.ThreadingHTTPServer):
    """Serves `root` on 127.0.0.1, each answer `delay_ms` after its request, and counts
    the connections open at once."""
    daemon_threads = True

    def __init__(self, root):
        super().__init__(("127.0.0.1", 0), lambda *a: SlowHandler(*a, directory=root))
        self.delay_ms = 0
        self.never = None
        self.stopping = threading.Event()
        self.lock = threading.Lock()
        self.open = self.most = 0
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def opened(self):
        with self.lock:
            self.open += 1
            self.most = max(self.most, self.open)

    def closed(self):
        with self.lock:
            self.open -= 1

    def base(self):
        return f"http://127.0.0.1:{self.server_address[1]}"

    def stop(self):
        self.stopping.set()
        self.shutdown()


def timed(command, cwd, server):
    """Wall seconds of one run of the command, and the most connections it had open at once."""
    with server.lock:
        server.most = 0
    start = time.perf_counter()
    status = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    wall = time.perf_counter() - start
    if status != 0 and command[0] != "wget2":  # wget2 says 8 for the odd 404 of a link
        sys.exit(f"{command[0]} failed with status {status}")
    time.sleep(0.2)  # the server's threads see the last connections close
    return wall, server.most


def crawl_table(server, builds, work, rounds):
    base = server.base()
    print(f"{doc_tree.PAGES} pages of 200 to 400 tags, each answer D ms after its request; "
          f"median wall time of {rounds} (before: of 1), s:")
    print(f"{'D':>6} {'linkweave-crawl':>16} {'wget2 -r':>10} {'ratio':>7} {'connections':>12}"
          + (f" {'before':>8} {'ratio':>7}" if len(builds) > 1 else ""))
    for delay in DELAYS_MS:
        server.delay_ms = delay
        runs = {"crawl": [], "wget2": [], "before": []}
        for round_ in range(rounds):
            runs["crawl"].append(timed([os.path.join(builds[0], "linkweave-crawl"), base + "/index.html"], work, server))
            fetched = count(os.path.join(work, "debug.txt"), "getting page")
            if fetched != doc_tree.PAGES:
                print(f"warning: linkweave-crawl fetched {fetched} pages, not {doc_tree.PAGES}")
            mirror = os.path.join(work, "mirror")
            runs["wget2"].append(timed(["wget2", "-r", "-np", "--no-robots", "-q", f"--max-threads={CONNECTIONS}",
                                        "-P", mirror, base + "/index.html"], work, server))
            shutil.rmtree(mirror, ignore_errors=True)
            if len(builds) > 1 and round_ == 0:
                runs["before"].append(timed([os.path.join(builds[1], "linkweave-crawl"), base + "/index.html"], work,
                                            server))
        crawl, wget2 = (statistics.median(w for w, _ in runs[k]) for k in ("crawl", "wget2"))
        line = (f"{delay:>4} ms {crawl:>16.2f} {wget2:>10.2f} {crawl / wget2:>7.2f} "
                f"{max(c for _, c in runs['crawl']):>5} and {max(c for _, c in runs['wget2'])}")
        if runs["before"]:
            before = runs["before"][0][0]
            line += f" {before:>8.2f} {before / wget2:>7.2f}"
        print(line, flush=True)
    print("  ratio: linkweave-crawl's time over wget2's (goal at 100 ms: within 1.1); connections: the most open at"
          " once, linkweave-crawl's and wget2's")


def window_gaps(build, folder, start_url, size, seconds):
    """Frames of linkweave in a window of `size` crawling at the fastest speed until
    Done!! or for `seconds`, then of the finished webspace; one line each."""
    window = Window(build, folder, start_url, size)
    try:
        if not window.window:
            return "no window"
        started = start_crawl(window.folder, 5, size[1])
        if started is None:
            return "the crawl did not start"
        deadline = started + int(seconds * 1e9)
        while time.monotonic_ns() < deadline and not count(window.trace, "Done!!"):
            time.sleep(0.2)
        ended = time.monotonic_ns()
        crawling = frame_gaps.describe(frame_gaps.swaps(window.swaps, started, ended))
        placed = count(window.trace, "got page")
        line = f"{placed} pages in {(ended - started) / 1e9:.1f} s: {crawling}"
        if count(window.trace, "Done!!"):
            time.sleep(3)
            line += ("\n        the finished webspace drawn: " +
                     frame_gaps.describe(frame_gaps.swaps(window.swaps, ended + int(0.5e9), time.monotonic_ns())))
        return line
    finally:
        window.close()


def window_table(server, builds, work):
    server.delay_ms = 100
    print("\nlinkweave in a window at the fastest speed, each answer 100 ms after its request; gaps between frames"
          " while it crawls (goal: none above 50 ms), and of the finished webspace drawn without crawling:")
    for name, build in zip(("after", "before"), builds):
        if not os.path.exists(os.path.join(build, "liblinkweave_swap_times.so")):
            print(f"  {name}: no liblinkweave_swap_times.so in {build}")
            continue
        for size in ((400, 300), (800, 600)):
            where = f"{name}, {size[0]} x {size[1]}"
            server.never = None
            line = window_gaps(build, os.path.join(work, f"{name}-{size[0]}-tree"), server.base() + "/index.html", size, 60)
            print(f"  {where}, the tree:\n        {line}", flush=True)
            server.never = NEVER
            line = window_gaps(build, os.path.join(work, f"{name}-{size[0]}-never"), server.base() + "/index.html", size,
                               15)
            print(f"  {where}, the tree with {NEVER} never answering, for 15 s:\n        {line}", flush=True)
            server.never = None


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    builds = [os.path.abspath(b) for b in sys.argv[1:3]]
    rounds = int(os.environ.get("LW_LATENCY_ROUNDS", "5"))
    os.environ["no_proxy"] = os.environ["NO_PROXY"] = "127.0.0.1"
    if not shutil.which("wget2"):
        sys.exit("latency.py: wget2 is not installed (apt-get install wget2)")
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        doc_tree.generate(tree, 200, 400)
        server = SlowServer(tree)
        try:
            crawl_table(server, builds, work, rounds)
            if os.environ.get("DISPLAY"):
                window_table(server, builds, work)
        finally:
            server.stop()


if __name__ == "__main__":
    main()
