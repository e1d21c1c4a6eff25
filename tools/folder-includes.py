#!/usr/bin/env python3
"""The includes between Linkweave's folders, as a graph of folder -> folder edges.

Prints every edge with the number of #include lines behind it, then checks the shape
the layout asks for: no cycle between folders, no arrow from a lower floor up to a
higher one, and no CMakeLists.txt that builds a source file of another folder. Exits 1
when any of these is broken, so a test can keep the house standing.

Usage: tools/folder-includes.py [REPO_ROOT]   (default: the folder above this script)
"""

import os
import re
import sys
from collections import defaultdict

# Floors, lowest first: an include may point to its own floor or lower, never higher.
# Folders that are not listed (tests, bench, fuzz) stand above everything.
FLOORS = {
    "base": 0,
    "web": 1,
    "webspace": 2,
    "render": 3, "overlay": 3, "input": 3,
    "shell": 4, "tools": 4, "setup": 4,
}
TOP = max(FLOORS.values()) + 1

SOURCE_SUFFIXES = (".cpp", ".h", ".c")
SKIPPED = {".git", "build", "run", "demo", "docs", "assets"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def source_files(root):
    for folder, subfolders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        subfolders[:] = sorted(d for d in subfolders
                               if d not in SKIPPED and not d.startswith("build") and d != "fixtures")
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.normpath(os.path.join(relative, name))


def resolve(root, including, target):
    """The file an #include names, relative to root, or None for a system header.
    Tried as the compilers see it: beside the including file, then under tests/ for
    test files (their include root), then under the repository root."""
    candidates = [os.path.join(os.path.dirname(including), target)]
    if including.startswith("tests" + os.sep):
        candidates.append(os.path.join("tests", target))
    candidates.append(target)
    for candidate in candidates:
        if os.path.isfile(os.path.join(root, candidate)):
            return os.path.normpath(candidate)
    return None


def folder_of(path):
    return os.path.dirname(path) or "."


def floor_of(folder):
    return FLOORS.get(folder.split(os.sep)[0], TOP)


def include_edges(root):
    edges = defaultdict(int)
    folders = set()
    for path in source_files(root):
        source = folder_of(path)
        folders.add(source)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for target in INCLUDE.findall(text):
            resolved = resolve(root, path, target)
            if resolved and folder_of(resolved) != source:
                edges[(source, folder_of(resolved))] += 1
    return folders, edges


def cycles(folders, edges):
    """The groups of folders that reach each other through includes (the strongly
    connected components of more than one folder), each sorted, in sorted order."""
    successors = defaultdict(list)
    for (a, b) in sorted(edges):
        successors[a].append(b)
    index, low, on_stack, stack, groups = {}, {}, set(), [], []

    def visit(folder):
        index[folder] = low[folder] = len(index)
        stack.append(folder)
        on_stack.add(folder)
        for following in successors[folder]:
            if following not in index:
                visit(following)
                low[folder] = min(low[folder], low[following])
            elif following in on_stack:
                low[folder] = min(low[folder], index[following])
        if low[folder] == index[folder]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == folder:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for folder in sorted(folders):
        if folder not in index:
            visit(folder)
    return sorted(groups)


SOURCE_NAME = re.compile(r'[\w${}./-]+\.(?:cpp|c)\b')


def foreign_sources(root):
    """Source files named in a CMakeLists.txt that lie outside that CMakeLists' folder."""
    found = []
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(d for d in subfolders if d not in SKIPPED and not d.startswith("build"))
        if "CMakeLists.txt" not in files:
            continue
        relative = os.path.relpath(folder, root)
        with open(os.path.join(folder, "CMakeLists.txt"), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                code = line.split("#", 1)[0]
                for name in SOURCE_NAME.findall(code):
                    if "/" in name or "$" in name:
                        found.append(f"{os.path.join(relative, 'CMakeLists.txt')}:{number}: {name}")
    return found


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    folders, edges = include_edges(root)

    print("Includes between folders (from -> to: #include lines):")
    for source in sorted(folders):
        targets = sorted((b, n) for (a, b), n in edges.items() if a == source)
        shown = ", ".join(f"{b} {n}" for b, n in targets) if targets else "(none)"
        print(f"  {source} -> {shown}")

    broken = False
    groups = cycles(folders, edges)
    for group in groups:
        members = set(group)
        both = sorted(f"{a} <-> {b}" for (a, b) in edges if a in members and b in members and a < b and (b, a) in edges)
        print("Cycle among: " + ", ".join(group) + (" (both ways: " + ", ".join(both) + ")" if both else ""))
    if groups:
        broken = True
    else:
        print("No cycle.")

    upward = sorted(f"{a} -> {b} ({n})" for (a, b), n in edges.items() if floor_of(a) < floor_of(b))
    for edge in upward:
        print(f"Upward: {edge}")
    if upward:
        broken = True

    for entry in foreign_sources(root):
        print(f"Builds another folder's file: {entry}")
        broken = True

    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
