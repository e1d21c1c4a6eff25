#!/usr/bin/env python3
"""A generated documentation tree of 300 pages with long pages, as a large manual is:
the root, 10 section indexes and their pages in docs/secN/, each page with a side bar of
links to the root, every section and every page of its own section, and a body of
1,000 to 2,000 tags (paragraphs with code and emphasis, tables), the same tree every time.

Usage: doc_tree.py FOLDER writes it there and prints the number of pages and of tags.
Other scripts import it: generate(folder) returns the pages' paths."""
import os
import random
import sys

PAGES = 300
SECTIONS = 10
MIN_TAGS, MAX_TAGS = 1000, 2000

WORDS = ("the crawl fetches each page once and scans its links one tag a frame while the webspace "
         "grows node by node on the layer of its directory").split()


def words(rng, count):
    return " ".join(rng.choice(WORDS) for _ in range(count))


def body(rng, tags):
    """HTML of about `tags` tags: paragraphs of six tags, now and then a table row of six."""
    parts = []
    while tags > 0:
        if rng.random() < 0.2:
            parts.append(f"<tr><td>{words(rng, 2)}</td><td>{rng.randint(1, 999)}</td></tr>\n")
        else:
            parts.append(f"<p>{words(rng, 4)} <code>{rng.choice(WORDS)}()</code> {words(rng, 3)} "
                         f"<em>{rng.choice(WORDS)}</em>.</p>\n")
        tags -= 6
    return "".join(parts)


def page(title, links, seed, min_tags=MIN_TAGS, max_tags=MAX_TAGS):
    """A page whose tags, side bar included, number between min_tags and max_tags (or
    just its side bar, where that alone has more)."""
    rng = random.Random(seed)
    side_bar = "".join(f'<li><a href="{href}">{href}</a></li>\n' for href in links)
    frame = 16 + 4 * len(links)  # the tags of the head, headings, lists and the side bar
    return (f"<html><head><title>{title}</title></head><body><h1>{title}</h1>\n<ul>\n{side_bar}</ul>\n"
            f"<table>\n{body(rng, rng.randint(min_tags, max_tags) - frame)}</table></body></html>\n")


def generate(root, min_tags=MIN_TAGS, max_tags=MAX_TAGS):
    """Writes the tree into root, pages of min_tags to max_tags tags; returns the paths of
    its pages, the root's first."""
    per_section = [(PAGES - 1 - SECTIONS) // SECTIONS + (1 if s < (PAGES - 1 - SECTIONS) % SECTIONS else 0)
                   for s in range(SECTIONS)]
    sections = [f"/docs/sec{s}/index.html" for s in range(SECTIONS)]
    files = {"index.html": page("Manual", sections, 0, min_tags, max_tags)}
    paths = ["/index.html"]
    for s in range(SECTIONS):
        names = [f"page{n}.html" for n in range(per_section[s])]
        side_bar = ["/index.html"] + sections + names
        files[f"docs/sec{s}/index.html"] = page(f"Section {s}", side_bar, 1000 + s, min_tags, max_tags)
        paths.append(sections[s])
        for n, name in enumerate(names):
            files[f"docs/sec{s}/{name}"] = page(f"Section {s}, page {n}", side_bar, 100 * s + n + 1, min_tags, max_tags)
            paths.append(f"/docs/sec{s}/{name}")
    for name, text in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
        with open(os.path.join(root, name), "w") as out:
            out.write(text)
    return paths


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    paths = generate(sys.argv[1])
    tags = [open(os.path.join(sys.argv[1], p.lstrip("/"))).read().count("<") for p in paths]
    print(f"{len(paths)} pages, {min(tags)} to {max(tags)} tags a page")


if __name__ == "__main__":
    main()
