#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "webspace/GraphExport.h"
#include "webspace/Webspace.h"

namespace {

// Past the page limit links are never looked up and keep node 0: they are no links to
// the root, so the graph leaves them out, unless the root is really where they lead.
TEST(GraphEdges, OneEdgePerLinkedPairCountingOnlyLinksWhoseTargetIsKnown) {
    auto space = std::make_unique<Webspace>();
    for (const char* url : {"http://h/", "http://h/a", "http://h/b"}) space->findOrAdd(url, 0);
    auto link = [&](int page, const char* url, int node) {
        PageNode& p = space->pages[page];
        copyText(p.links[p.linkCount].url, url);
        p.links[p.linkCount++].node = node;
    };
    link(0, "http://h/a", 1), link(0, "http://h/b", 2), link(0, "http://h/a", 1), link(0, "http://h/", 0);
    link(1, "http://h/new", 0), link(1, "http://h/b", 0);  // never looked up
    link(2, "http://h/", 0);                               // never looked up, but the root's URL
    std::vector<std::tuple<int, int, int>> edges;
    for (const GraphEdge& e : collectGraphEdges(*space)) edges.emplace_back(e.source, e.target, e.count);
    EXPECT_EQ(edges, (std::vector<std::tuple<int, int, int>>{{0, 1, 2}, {0, 2, 1}, {0, 0, 1}, {2, 0, 1}}));
}

}  // namespace
