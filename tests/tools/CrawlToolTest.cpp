#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string errors;  // what the tool wrote on standard error
};

// Runs linkweave-crawl in the current directory; kills it after `limit`.
ToolRun runTool(std::chrono::seconds limit = std::chrono::seconds(60)) {
    ToolRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        execl(LW_CRAWL_TOOL, LW_CRAWL_TOOL, static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "linkweave-crawl did not finish in time";
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in("stderr.txt");
    std::stringstream text;
    text << in.rdbuf();
    run.errors = text.str();
    return run;
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

    // The committed trace names the server as 127.0.0.1:PORT.
    std::vector<std::string> expected = readLines(LW_FIXTURES "/site-trace.txt");
    const std::string authority = "127.0.0.1:" + std::to_string(server.port());
    for (std::string& line : expected) line = std::regex_replace(line, std::regex("127\\.0\\.0\\.1:PORT"), authority);
    EXPECT_EQ(readLines("debug.txt"), expected);
    EXPECT_EQ(expected.end()[-2], "Done!!");
}

TEST_F(CrawlTool, HonoursThePageLimitOfTheSettings) {
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    std::string links;
    for (int i = 0; i < 150; ++i) links += "<a href=\"p" + std::to_string(i) + ".html\">";
    server.route("/", LoopbackResponse::ok(links + "."));
    // Pages digit 0: at most 100 pages. Blanks between the fields are ignored.
    writeFile("settings.txt", server.url("/") + " , 0 , 0 , 0 , 1 ,\n");
    const ToolRun run = runTool();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(server.requestCount(), 100u);
    EXPECT_NE(run.errors.find("100 pages fetched (99 not found)"), std::string::npos) << run.errors;
}

TEST_F(CrawlTool, SaysSoWhenThereIsNoInitialUrl) {
    const ToolRun run = runTool();
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find("no initial URL"), std::string::npos) << run.errors;
    EXPECT_FALSE(std::ifstream("debug.txt").good());  // an old trace is not emptied for nothing
}

}  // namespace
