// linkweave-crawl end to end, against whole sites served on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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
    expectGolden(LW_FIXTURES "/site-trace.txt", readFile("debug.txt"), {server.port()});
}

TEST_F(CrawlTool, EndsWithItsExitStatusAndSaysWhy) {
    LoopbackServer server, closed;
    ASSERT_TRUE(server.start() && closed.start());
    closed.stop();  // refuses connections from now on
    std::string links;
    for (int i = 0; i < 150; ++i) links += "<a href=\"p" + std::to_string(i) + ".html\">";
    server.route({.path = "/", .body = links + "."});
    const std::string failing = closed.url("/"), escaped = server.url("/\x1B[31mred");
    // Each row: settings.txt, the options, whether debug.txt cannot be written, the exit status, what it says.
    struct Case { std::string settings, options; bool unwritable; int exitCode; std::string says; } const cases[] = {
        // Pages digit 0: at most 100 pages. Blanks between the fields are ignored.
        {server.url("/") + " , 0 , 0 , 0 , 1 ,\n", "", false, 0, "100 pages fetched (99 not found)"},
        {"", "", false, 2, "no initial URL"},
        {failing + ",1,3,0,0,", "--frobnicate", false, 2, "unknown option --frobnicate"},
        {failing + ",1,3,0,0,", "--give-up 1", false, 3, "gave up on " + failing + " after 1 s of failures: HttpSendRequest() failed:"},
        {escaped + ",1,3,0,0,", "", true, 0, "Crawled " + server.url("/\\x1B[31mred") + ": 1 pages fetched (1 not found)"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all("debug.txt");
        if (c.unwritable) std::filesystem::create_directory("debug.txt");
        writeFile("settings.txt", c.settings);
        const ToolRun run = runTool(c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.options << ": " << run.errors;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << c.options << ": " << run.errors;
        // A trace is not emptied for nothing, nor claimed when it could not be written.
        EXPECT_EQ(access("debug.txt", F_OK) == 0, c.exitCode != 2 || c.unwritable);
        EXPECT_EQ(run.errors.find("Trace in debug.txt.") != std::string::npos, c.exitCode != 2 && !c.unwritable) << run.errors;
    }
    EXPECT_EQ(server.requestCount(), 101u);
}
