// Reading settings.txt: well-formed, odd and broken files, in turn as the program reads them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/Settings.h"
#include "support/TestSupport.h"

using Settings = TempDirTest;

TEST_F(Settings, ReadsInTurnAsTheProgramDoes) {
    const std::string overlong = "http://h/" + std::string(400, 'u');
    // Rows are read in order into the same values: the display is reset before each
    // read, the page limit and (without a file) the URL carry over. Read: URL, hardware
    // device, resolution, pages, full screen.
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"http://h/start.html,1,2,0,1,", "http://h/start.html 1 800x600 100 1"},
        {"  http://h/my page.html ,\n0 ,\t1,\r\n 1 , 0 ,\n", "http://h/mypage.html 0 640x480 200 0"},
        {"u,1,0,9,1,", "u 1 400x300 300 1"},   // 1000 pages, limited to 300
        {"u,1,7,1,2,", "u 1 1024x768 200 0"},  // unknown resolution: the default
        {"u,x,2,z,y,", "u 0 800x600 200 0"},   // unknown pages digit: unchanged
        {"u,,2,0,1,", "u 0 1024x768 200 0"},   // an empty field puts every later one out of step
        {std::nullopt, "u 1 1024x768 200 0"},
        {"", " 1 1024x768 200 0"},
        {"http://h/no-comma", " 1 1024x768 200 0"},
        {"http://h/,0,1", "http://h/ 0 640x480 200 0"},
        {overlong + ",0,0,1,1,", overlong.substr(0, 255) + " 0 400x300 200 1"},  // cut, the fields still in step
        {"\xEF\xBB\xBFhttp://h/bom.html,1,2,1,0,", "http://h/bom.html 1 800x600 200 0"},  // a UTF-8 byte-order mark
        {std::string("http://h/a\0b.html,1,0,0,1,", 26), " 1 1024x768 200 0"},  // a NUL: the file is refused
        {std::string("http://h/a.html,0,0\0,0,1,", 25), " 1 1024x768 200 0"},   // wherever it stands
    };
    DisplaySettings display;
    char initialUrl[kInitialUrlCapacity] = {};
    int32_t maxPages = kPageLimitCap;
    for (const auto& [file, expected] : cases) {
        std::remove("settings.txt");
        if (file) writeFile("settings.txt", *file);
        readSettings({&display, initialUrl, &maxPages});
        const std::string read = std::string(initialUrl) + " " + std::to_string(display.hardwareDevice) + " " +
                                 std::to_string(display.displayWidth) + "x" + std::to_string(display.displayHeight) + " " +
                                 std::to_string(maxPages) + " " + std::to_string(display.fullScreen);
        EXPECT_EQ(read, expected) << file.value_or("(no file)").substr(0, 40);
    }
}
