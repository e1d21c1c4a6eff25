// The hand-over of a page to the web browser. (The overlay's clicks are in the input
// session's golden trace, its looks in the renderer's golden frame.)
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>

#include "overlay/BrowserOpener.h"
#include "support/TestSupport.h"

namespace {

using BrowserLaunch = TempDirTest;

TEST_F(BrowserLaunch, UrlArrivesAsOneArgumentWithoutAShellAndLeavesNoChild) {
    // A stand-in launcher that writes its arguments, one per line.
    writeFile("fake-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n");
    chmod("fake-open", 0755);
    const std::string program = dir_ + "/fake-open";
    const std::string url = "http://127.0.0.1/a b;touch pwned&x=$(id)'\"|`id`";
    ASSERT_TRUE(BrowserOpener(program.c_str()).open(url.c_str()));
    EXPECT_TRUE(waitUntil([&] { return readLines(program + ".args") == std::vector<std::string>{url}; }));
    EXPECT_FALSE(std::ifstream("pwned").good());
    // The launcher was handed to init: we have no child left to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// With no such program on PATH the opener says so, so the window can tell the user.
TEST_F(BrowserLaunch, AMissingLauncherIsReportedAndLeavesNoChild) {
    BrowserOpener missing("linkweave-no-such-browser");
    EXPECT_FALSE(missing.open("http://127.0.0.1/"));
    EXPECT_EQ(missing.lastError(), ENOENT);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
