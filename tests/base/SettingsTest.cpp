// Reading settings.txt: well-formed, odd and broken files, in turn as the program reads them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "base/Settings.h"
#include "support/TestSupport.h"

using Settings = TempDirTest;

TEST_F(Settings, ReadsInTurnAsTheProgramDoes) {
    const std::string overlong = "http://h/" + std::string(400, 'u');
    // Rows are read in order into the same values: the display is reset before each
    // read, the page limit and (without a file) the URL carry over. Read: URL, hardware
    // device, resolution, pages, full screen.
    enum class Kind { File, None, Fifo, Folder };
    using enum Kind;
    struct Row { Kind kind; std::string file; std::string expected; SettingsRead result = SettingsRead::Read; } const rows[] = {
        {File, "http://h/start.html,1,2,0,1,", "http://h/start.html 1 800x600 100 1"},
        {File, "  http://h/my page.html ,\n0 ,\t1,\r\n 1 , 0 ,\n", "http://h/mypage.html 0 640x480 200 0"},
        {File, "u,1,0,9,1,", "u 1 400x300 300 1"},   // 1000 pages, limited to 300
        {File, "u,1,7,1,2,", "u 1 1024x768 200 0"},  // unknown resolution: the default
        {File, "u,x,2,z,y,", "u 0 800x600 200 0"},   // unknown pages digit: unchanged
        {File, "u,,2,0,1,", "u 0 1024x768 200 0"},   // an empty field puts every later one out of step
        {None, "", "u 1 1024x768 200 0", SettingsRead::Missing},
        // Not a file: refused unread, at once (a FIFO would wait for a writer), as if missing.
        {Fifo, "", "u 1 1024x768 200 0", SettingsRead::NotAFile},
        {Folder, "", "u 1 1024x768 200 0", SettingsRead::NotAFile},
        {File, "", " 1 1024x768 200 0"},
        {File, "http://h/no-comma", " 1 1024x768 200 0"},
        {File, "http://h/,0,1", "http://h/ 0 640x480 200 0"},
        {File, overlong + ",0,0,1,1,", overlong.substr(0, 255) + " 0 400x300 200 1"},  // cut, the fields still in step
        {File, "\xEF\xBB\xBFhttp://h/bom.html,1,2,1,0,", "http://h/bom.html 1 800x600 200 0"},  // a UTF-8 byte-order mark
        {File, std::string("http://h/a\0b.html,1,0,0,1,", 26), " 1 1024x768 200 0"},  // a NUL: the file is refused
        {File, std::string("http://h/a.html,0,0\0,0,1,", 25), " 1 1024x768 200 0"},   // wherever it stands
    };
    DisplaySettings display;
    char initialUrl[kInitialUrlCapacity] = {};
    int32_t maxPages = kPageLimitCap;
    for (const Row& row : rows) {
        std::filesystem::remove("settings.txt");
        if (row.kind == File) writeFile("settings.txt", row.file);
        if (row.kind == Fifo) mkfifo("settings.txt", 0644);
        if (row.kind == Folder) std::filesystem::create_directory("settings.txt");
        const SettingsRead result = readSettings({&display, initialUrl, &maxPages});
        const std::string read = std::string(initialUrl) + " " + std::to_string(display.hardwareDevice) + " " +
                                 std::to_string(display.displayWidth) + "x" + std::to_string(display.displayHeight) + " " +
                                 std::to_string(maxPages) + " " + std::to_string(display.fullScreen);
        EXPECT_TRUE(read == row.expected && result == row.result)
            << row.file.substr(0, 40) << " (kind " << static_cast<int>(row.kind) << "): " << read;
    }
}
