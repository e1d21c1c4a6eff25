// linkweave-crawl --graph end to end: a site with awkward titles and URLs crawled from
// 127.0.0.1, its three graph files read back by networkx and Graphviz (graph_check.py)
// and compared whole with a golden listing, and the command lines and files that must
// fail without leaving a half-written file; and the rule for which links are edges.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <tuple>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "tools/GraphExport.h"
#include "webspace/Webspace.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string errors;  // what the tool wrote on standard error
};

ToolRun runTool(const std::string& arguments) {
    const int status = std::system(("timeout 60 " LW_CRAWL_TOOL " " + arguments + " 2>stderr.txt").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile("stderr.txt")};
}

class GraphExport : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(server_.start());
        server_.serveDirectory(LW_FIXTURES "/graph-site");
        writeFile("settings.txt", server_.url("/index.html") + ",1,3,2,0,\n");
    }
    LoopbackServer server_;
};

TEST_F(GraphExport, AllThreeFormatsReadBackAsExactlyTheCrawledPagesAndLinks) {
    const ToolRun run = runTool("--graph site.json --graph site.graphml --graph site.dot");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string check = LW_PYTHON " " LW_GRAPH_CHECK " site.json site.graphml site.dot >listing.txt";
    EXPECT_EQ(std::system(check.c_str()), 0) << "the three files do not read back the same (difference above)";
    expectGolden(LW_FIXTURES "/graph-site.txt", readFile("listing.txt"), {server_.port()});
}

TEST_F(GraphExport, BadCommandLinesAndUnwritableFilesFailClearly) {
    std::filesystem::create_directory("taken.json");  // in the way of the final rename
    struct Row {
        const char* arguments;
        int exitCode;
        const char* says;
        const char* mustNotExist;
    };
    const Row rows[] = {
        {"--graph site.png", 2, "site.png: unknown graph format", "site.png"},
        {"--graph", 2, "--graph needs a FILE", "debug.txt"},
        {"--grahp site.json", 2, "unknown option --grahp", "site.json"},
        {"--graph no/such/folder/site.dot", 1, "cannot write no/such/folder/site.dot: No such file", "no"},
        {"--graph taken.json --graph kept.dot", 1, "cannot write taken.json: Is a directory", "taken.json.tmp"},
    };
    for (const Row& row : rows) {
        std::filesystem::remove("debug.txt");
        const ToolRun run = runTool(row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments;
        EXPECT_NE(run.errors.find(row.says), std::string::npos) << row.arguments << ":\n" << run.errors;
        EXPECT_FALSE(std::filesystem::exists(row.mustNotExist)) << row.arguments;
        // A bad command line is refused with the usage, before anything is crawled.
        const bool refused =
            !std::filesystem::exists("debug.txt") && run.errors.find("usage: linkweave-crawl") != std::string::npos;
        EXPECT_EQ(refused, row.exitCode == 2) << row.arguments;
    }
    EXPECT_TRUE(std::filesystem::exists("kept.dot"));  // a file that fails costs no other
}

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
