// The installation as a user gets it: `cmake --install` into a fresh prefix, then the
// installed programs started from elsewhere find each other and their data files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/Images.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace {

using Installation = TempDirTest;

// What a command printed on both streams, then "exit N".
std::string run(const std::string& command) { return commandOutput("(" + command + ") 2>&1; echo \"exit $?\""); }

TEST_F(Installation, InstalledProgramsRunFromAnyFolderWithTheirData) {
    const std::string prefix = dir_ + "/prefix";
    ASSERT_EQ(run("\"" LW_CMAKE "\" --install \"" LW_BUILD_DIR "\" --prefix " + prefix + " >install.log").substr(0, 6), "exit 0")
        << readFile("install.log");

    struct File { const char* path; mode_t mode; };
    for (const File& f : {File{"bin/linkweave", 0755}, {"bin/linkweave-crawl", 0755}, {"bin/preflight", 0755},
                          {"bin/linkweave-launcher", 0755}, {"share/linkweave/data1", 0644}, {"share/linkweave/data2", 0644},
                          {"share/applications/linkweave.desktop", 0644}, {"share/icons/hicolor/64x64/apps/linkweave.png", 0644},
                          {"share/man/man1/linkweave.1", 0644}, {"share/man/man1/linkweave-crawl.1", 0644},
                          {"share/man/man1/preflight.1", 0644}}) {
        struct stat st{};
        ASSERT_EQ(stat((prefix + "/" + f.path).c_str(), &st), 0) << f.path;
        EXPECT_EQ(st.st_mode & 07777, f.mode) << f.path;
    }
    const Image icon = readImage(prefix + "/share/icons/hicolor/64x64/apps/linkweave.png");
    EXPECT_EQ(std::make_pair(icon.width, icon.height), std::make_pair(64, 64));
    // The menu starts the launcher by its full path, wherever the prefix is.
    const std::string entry = prefix + "/share/applications/linkweave.desktop";
    EXPECT_NE(readFile(entry).find("\nExec=" + prefix + "/bin/linkweave-launcher\n"), std::string::npos);
    if (!commandOutput("command -v desktop-file-validate").empty()) {
        const std::string said = run("desktop-file-validate " + entry);
        EXPECT_TRUE(said.ends_with("exit 0\n")) << said;
    }

    // Each started from /, with no display: linkweave gets past its data files to the
    // display; the launcher makes the user's folder and starts the preflight beside it.
    const std::string noDisplay = "cd / && env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME=" + dir_ + "/xdg ";
    EXPECT_EQ(run(noDisplay + prefix + "/bin/linkweave --version"), "linkweave " LW_VERSION "\nexit 0\n");
    EXPECT_EQ(run(noDisplay + prefix + "/bin/linkweave"), "linkweave: cannot open the display (is DISPLAY set?)\nexit 1\n");
    EXPECT_EQ(run(noDisplay + prefix + "/bin/linkweave-launcher"), "preflight: cannot open the X display (is DISPLAY set?)\nexit 1\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/xdg/linkweave"));

    // The installed crawl tool crawls a page to the end.
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    server.route({.path = "/", .body = "<title>Installed</title>"});
    writeFile("settings.txt", server.url("/") + ",1,3,2,0,\n");
    EXPECT_EQ(run(prefix + "/bin/linkweave-crawl >/dev/null 2>&1"), "exit 0\n");
    EXPECT_EQ(readLines("debug.txt").end()[-2], "Done!!");
}

}  // namespace
