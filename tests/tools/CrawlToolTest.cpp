// linkweave-crawl end to end, against whole sites served on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

struct ToolRun {
    int exitCode;
    std::string errors;  // what the tool wrote on standard error
};

// Runs linkweave-crawl with the given options in the current directory, for 60 s at most.
static ToolRun runTool(const std::string& options = "") {
    const int status = std::system(("timeout -s KILL 60 " LW_CRAWL_TOOL " " + options + " 2>stderr.txt").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile("stderr.txt")};
}

using CrawlTool = TempDirTest;

TEST_F(CrawlTool, CrawlsTheFixtureSiteToDoneWithTheExpectedTrace) {
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    server.serveDirectory(LW_FIXTURES "/site");
    writeFile("settings.txt", server.url("/index.html") + ",1,3,2,0,\n");
    const ToolRun run = runTool();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("pages fetched"), std::string::npos) << run.errors;
    expectGolden(readFile("debug.txt"), LW_FIXTURES "/site-trace.txt", {server.port()});
}

TEST_F(CrawlTool, EndsWithItsExitStatusAndSaysWhy) {
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    std::string links;
    for (int i = 0; i < 150; ++i) links += "<a href=\"p" + std::to_string(i) + ".html\">";
    server.route({.path = "/", .body = links + "."});
    struct Case { std::string settings, options; int exitCode; const char* says; } const cases[] = {
        // Pages digit 0: at most 100 pages. Blanks between the fields are ignored.
        {server.url("/") + " , 0 , 0 , 0 , 1 ,\n", "", 0, "100 pages fetched (99 not found)"},
        {"", "", 2, "no initial URL"},
    };
    for (const Case& c : cases) {
        std::remove("debug.txt");
        writeFile("settings.txt", c.settings);
        const ToolRun run = runTool(c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.options << ": " << run.errors;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << c.options << ": " << run.errors;
        EXPECT_EQ(access("debug.txt", F_OK) == 0, c.exitCode != 2);  // a trace is not emptied for nothing
    }
    EXPECT_EQ(server.requestCount(), 100u);
}
