// What linkweave says before any window opens: its answers to the command line, and the
// one line that ends it when a data file or the display is missing. Every row runs
// without a display, so a program that went on without one shows as a run that never ends.
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/TestSupport.h"

namespace {

using LinkweaveStart = TempDirTest;

// A bitmap header that claims 60000 x 60000 pixels, which would cost gigabytes.
const std::string kAbsurdBitmap("BM\0\0\0\0\0\0\0\0\66\0\0\0\50\0\0\0\x60\xEA\0\0\x60\xEA\0\0", 26);

TEST_F(LinkweaveStart, AnswersOrRefusesInOneLineWithoutADisplay) {
    // data: "" runs the built program beside its data; otherwise a copy of it runs in a
    // folder of that name, beside a data folder holding data1 and the named data2.
    struct Case { const char* args; const char* data; int exitCode; const char* says; size_t lines = 1; };
    for (const Case& c : {
             Case{"", "", 1, "linkweave: cannot open the display (is DISPLAY set?)"},
             Case{"--version", "", 0, "linkweave " LW_VERSION},
             Case{"--help", "", 0, "usage: linkweave [--help | --version]", 5},
             Case{"http://127.0.0.1/", "", 2, "linkweave: unknown argument 'http://127.0.0.1/'; usage: linkweave [--help | --version]"},
             Case{"--version --help", "", 2, "linkweave: unknown argument '--help'; usage"},
             Case{"", "no-data-folder", 1, "linkweave: cannot find its data files: none of the folders DIR/no-data-folder/data, "},
             Case{"", "missing", 1, "linkweave: cannot read the data file DIR/missing/data/data2: No such file or directory"},
             Case{"", "absurd", 1, "linkweave: the data file DIR/absurd/data/data2 claims 60000 x 60000 pixels; a data file has at most 4096 x 4096"},
             Case{"", "empty", 1, "linkweave: the data file DIR/empty/data/data2 is not a bitmap"},
         }) {
        std::string program = LW_PROGRAM;
        if (*c.data) {
            const std::string folder = dir_ + "/" + c.data;
            program = folder + "/linkweave";
            std::filesystem::create_directory(folder);
            std::filesystem::copy_file(LW_PROGRAM, program);
            if (c.data != std::string("no-data-folder")) {
                std::filesystem::create_directory(folder + "/data");
                std::filesystem::create_symlink(LW_DATA_DIR "/data1", folder + "/data/data1");
                if (c.data == std::string("absurd")) writeFile(folder + "/data/data2", kAbsurdBitmap);
                if (c.data == std::string("empty")) writeFile(folder + "/data/data2", "");
            }
        }
        const std::string said = commandOutput("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 20 " +
                                               program + " " + c.args + " 2>&1; echo \"exit $?\"");
        std::vector<std::string> lines;
        std::istringstream in(said);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), c.lines + 1) << c.args << " " << c.data << ": " << said;
        EXPECT_TRUE(lines[0].starts_with(std::regex_replace(c.says, std::regex("DIR"), dir_))) << lines[0];
        EXPECT_EQ(lines.back(), "exit " + std::to_string(c.exitCode)) << c.args << " " << c.data;
    }
}

}  // namespace
