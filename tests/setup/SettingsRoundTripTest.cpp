// Preflight's line of settings.txt, as Save writes it, read back by Linkweave's settings
// reader. The two programs share no code, so this is where the file keeps one meaning.
#include <gtest/gtest.h>

#include <string>

#include "base/Settings.h"
#include "setup/SetupLogic.h"
#include "support/TestSupport.h"

namespace {

using SettingsRoundTrip = TempDirTest;

TEST_F(SettingsRoundTrip, WhatPreflightSavesLinkweaveReadsAsMeant) {
    const std::string longUrl = "http://h/" + std::string(200, 'p');
    // Saved: URL, hardware device, resolution, pages, full screen. Read: the same, as
    // Linkweave holds them.
    struct Case { SettingsLine saved; std::string read; } const cases[] = {
        {{"http://127.0.0.1:8080/index.html", true, 3, 2, false}, "http://127.0.0.1:8080/index.html 1 1024x768 300 0"},
        {{"http://h/", false, 0, 0, true}, "http://h/ 0 400x300 100 1"},
        {{"http://h/a.html", true, 1, 1, false}, "http://h/a.html 1 640x480 200 0"},
        {{"http://h/", true, 2, kDefaultPages, false}, "http://h/ 1 800x600 300 0"},  // 500 pages: the table holds 300
        {{"http://h/", true, 3, 9, false}, "http://h/ 1 1024x768 300 0"},
        // Commas would end the URL and blanks would be dropped: both arrive escaped, whole.
        {{"http://h/a,b.html?x=1,2", true, 3, 0, false}, "http://h/a%2Cb.html?x=1%2C2 1 1024x768 100 0"},
        {{"http://h/my page.html\t", true, 3, 0, false}, "http://h/my%20page.html%09 1 1024x768 100 0"},
        {{"http://h/caf\xc3\xa9.html", true, 3, 0, false}, "http://h/caf\xc3\xa9.html 1 1024x768 100 0"},
        {{longUrl, true, 3, 0, false}, longUrl.substr(0, kMaxSavedUrl) + " 1 1024x768 100 0"},
        {{"", true, 3, 0, false}, " 1 1024x768 100 0"},
    };
    for (const Case& c : cases) {
        const std::string line = formatSettingsLine(c.saved);
        ASSERT_EQ(writeSettingsFile(line), "") << line;
        DisplaySettings display;
        char initialUrl[kInitialUrlCapacity] = "left over";
        int32_t maxPages = 0;
        readSettings({&display, initialUrl, &maxPages});
        const std::string read = std::string(initialUrl) + " " + std::to_string(display.hardwareDevice) + " " +
                                 std::to_string(display.displayWidth) + "x" + std::to_string(display.displayHeight) + " " +
                                 std::to_string(maxPages) + " " + std::to_string(display.fullScreen);
        EXPECT_EQ(read, c.read) << line;
    }
}

}  // namespace
