# Runs the README's recipes as a reader pastes them, so they cannot rot: its fenced sh
# blocks in one clean bash session that starts at the clone's root, and each python
# block in that session's folder under Debian's python3 (networkx 2.x) and under a
# python3 from PATH with networkx 3.6 or later, when there is one. A block that follows
# "<!-- recipe-test: skip (why) -->" is left out. A python line ending in "# -> TEXT"
# must print TEXT as one of the block's lines.
#
# The clone is not copied: the session's root is a temporary folder of links to the
# clone's entries, with a build/ of its own that links the built files (and data/), so
# whatever a recipe makes lands in the temporary folder.
# usage: readme_recipes.py CLONE BUILD DEBIAN_PYTHON
import os, re, shlex, shutil, subprocess, sys, tempfile

clone, build, debian_python = (os.path.abspath(a) for a in sys.argv[1:4])

FENCE = re.compile(r"(<!-- recipe-test: skip[^>]*-->\s*\n)?```(sh|python)\n(.*?)```", re.S)
blocks = [(kind, body) for skip, kind, body in FENCE.findall(open(os.path.join(clone, "README.md")).read()) if not skip]


def networkx_version(python):
    found = subprocess.run([python, "-c", "import networkx; print(networkx.__version__)"], capture_output=True, text=True)
    return tuple(int(n) for n in re.findall(r"\d+", found.stdout)[:2]) if found.returncode == 0 else None


def newer_python():
    """The first python3 on PATH, other than Debian's, whose networkx is 3.6 or later."""
    debian = os.path.realpath(debian_python)
    for folder in os.environ.get("PATH", "").split(os.pathsep):
        python = os.path.join(folder, "python3")
        if os.access(python, os.X_OK) and os.path.realpath(python) != debian:
            version = networkx_version(python)
            if version and version >= (3, 6):
                return python
    return None


pythons = [debian_python]
if networkx_version(debian_python) is None:
    sys.exit(f"{debian_python} has no networkx (Debian's python3-networkx)")
newer = newer_python()
if newer:
    pythons.append(newer)
else:
    print("SKIPPED the networkx 3.6 half: no python3 on PATH but Debian's has networkx 3.6 or later")

work = tempfile.mkdtemp(prefix="linkweave-recipes-")
try:
    root, home = os.path.join(work, "root"), os.path.join(work, "home")
    os.makedirs(os.path.join(root, "build"))
    os.mkdir(home)
    for name in os.listdir(clone):
        if name != "build":
            os.symlink(os.path.join(clone, name), os.path.join(root, name))
    for name in os.listdir(build):
        path = os.path.join(build, name)
        if os.path.isfile(path) or name == "data":
            os.symlink(path, os.path.join(root, "build", name))

    script = ["set -euo pipefail", "trap 'kill $(jobs -p) 2>/dev/null || true' EXIT", "cd " + shlex.quote(root)]
    for number, (kind, body) in enumerate(blocks, 1):
        script.append(f"echo '### recipe {number} ({kind})'")
        if kind == "sh":
            script.append(body)
            continue
        for python in pythons:
            output = shlex.quote(os.path.join(work, f"recipe-{number}-{len(script)}.out"))
            script += [f"echo '# under {python}'",
                       f"{shlex.quote(python)} - <<'LW_RECIPE' | tee {output}\n{body}LW_RECIPE"]
            for expected in re.findall(r"# -> (.*)$", body, re.M):
                script.append(f"grep -Fxq {shlex.quote(expected.strip())} {output} || "
                              f"{{ echo 'expected the line: {expected.strip()}' >&2; exit 1; }}")
    # A clean shell: none of the caller's variables or start-up files, but its PATH.
    env = {"HOME": home, "PATH": os.environ["PATH"], "LANG": "C.UTF-8", "no_proxy": "127.0.0.1", "NO_PROXY": "127.0.0.1"}
    result = subprocess.run(["bash", "--noprofile", "--norc", "-c", "\n".join(script)], env=env, cwd=root)
    print(f"{len(blocks)} recipes, python blocks under: {', '.join(pythons)}")
    sys.exit(result.returncode)
finally:
    shutil.rmtree(work, ignore_errors=True)
