# Reads linkweave-crawl's graph files back with real readers (networkx for .json and
# .graphml, Graphviz's dot for .dot) and prints the first one's nodes and edges as a
# listing; fails, with the difference, when another file's listing is not the same.
# usage: graph_check.py GRAPH.json GRAPH.graphml GRAPH.dot
import difflib, json, subprocess, sys
import networkx as nx

FIELDS = ["url", "title", "statusCode", "message", "level", "length", "state"]


def listing(nodes, edges):
    lines = [f"node {n} " + json.dumps([a[f] for f in FIELDS]) for n, a in sorted(nodes)]
    return [line + "\n" for line in lines + [f"edge {s} -> {t} count {c}" for s, t, c in sorted(edges)]]


def read(path):
    if path.endswith(".dot"):  # dot lays the graph out and writes it as JSON, every value a text
        laid_out = json.loads(subprocess.run(["dot", "-Tjson", path], check=True, capture_output=True).stdout)
        objects, numbers = laid_out["objects"], ("statusCode", "level", "length")
        names = {o["_gvid"]: int(o["name"]) for o in objects}
        return listing([(int(o["name"]), {f: int(o[f]) if f in numbers else o[f] for f in FIELDS}) for o in objects],
                       [(names[e["tail"]], names[e["head"]], int(e["count"])) for e in laid_out["edges"]])
    graph = nx.read_graphml(path) if path.endswith(".graphml") else nx.node_link_graph(json.load(open(path)))
    assert graph.is_directed() and not graph.is_multigraph(), path
    return listing([(int(n), a) for n, a in graph.nodes(data=True)],
                   [(int(s), int(t), a["count"]) for s, t, a in graph.edges(data=True)])


first = read(sys.argv[1])
sys.stdout.writelines(first)
diffs = [list(difflib.unified_diff(first, read(path), sys.argv[1], path)) for path in sys.argv[2:]]
sys.stderr.writelines(line for diff in diffs for line in diff)
sys.exit(1 if any(diffs) else 0)
