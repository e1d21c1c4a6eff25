#!/usr/bin/env python3
"""The crawl of a 300-page documentation tree beside curl fetching the same 300 URLs.

Serves a generated tree with Python's http.server on 127.0.0.1, runs linkweave-crawl
on it and curl (one process, the same URLs) in turn, five times each, and prints the
median wall time, the median CPU time of each and their ratios. Figures only: nothing
here passes or fails. Usage: crawl-vs-curl.py BUILD_DIR
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

from doc_tree import PAGES, generate

ROUNDS = 5
TAGS = (200, 400)  # tags a page: short pages, so the figures are those of the fetches


def timed(command, cwd):
    """Wall and CPU seconds (user + system) of one run of the command."""
    start = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{command[0]} failed with status {os.waitstatus_to_exitcode(status)}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    os.environ["no_proxy"] = os.environ["NO_PROXY"] = "127.0.0.1"
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        paths = generate(tree, *TAGS)
        server = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "--bind", "127.0.0.1",
                                   "--directory", tree, "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            port = int(server.stdout.readline().split(" port ")[1].split()[0])
            base = f"http://127.0.0.1:{port}"
            with open(os.path.join(work, "settings.txt"), "w") as out:
                out.write(f"{base}/index.html,1,3,2,0,\n")  # 300 pages
            with open(os.path.join(work, "urls.txt"), "w") as out:
                out.writelines(f'url = "{base}{path}"\noutput = "/dev/null"\n' for path in paths)
            crawl = [os.path.join(build, "linkweave-crawl")]
            curl = ["curl", "-s", "--noproxy", "127.0.0.1", "-K", "urls.txt"]
            results = {"crawl": [], "curl": []}
            for _ in range(ROUNDS):
                results["crawl"].append(timed(crawl, work))
                results["curl"].append(timed(curl, work))
            with open(os.path.join(work, "debug.txt")) as trace:
                fetched = trace.read().count("getting page\n")
        finally:
            server.terminate()
            server.wait()
    if fetched != PAGES:
        print(f"warning: the crawl fetched {fetched} pages, not {PAGES}")
    wall = {k: statistics.median(w for w, _ in v) for k, v in results.items()}
    cpu = {k: statistics.median(c for _, c in v) for k, v in results.items()}
    print(f"{PAGES} pages from http.server on 127.0.0.1, median of {ROUNDS}:")
    print(f"  linkweave-crawl  wall {wall['crawl']:.3f} s  CPU {cpu['crawl']:.3f} s")
    print(f"  curl, one run    wall {wall['curl']:.3f} s  CPU {cpu['curl']:.3f} s")
    print(f"  ratio            wall {wall['crawl'] / wall['curl']:.2f}  CPU {cpu['crawl'] / cpu['curl']:.2f}"
          "  (goal: wall within 1.3)")


if __name__ == "__main__":
    main()
