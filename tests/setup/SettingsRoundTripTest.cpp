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
    const std::string h = "http://h/", bom = "\xEF\xBB\xBF";
    // Typed and chosen: URL, hardware device, resolution, pages, full screen. Read: the
    // same, as Linkweave holds them; or why Save refused the URL.
    struct Case { SettingsLine typed; std::string read; } const cases[] = {
        {{"http://127.0.0.1:8080/index.html", true, 3, 2, false}, "http://127.0.0.1:8080/index.html 1 1024x768 300 0"},
        {{h, false, 0, 0, true}, "http://h/ 0 400x300 100 1"},
        {{"http://h/a.html", true, 1, 1, false}, "http://h/a.html 1 640x480 200 0"},
        {{h, true, 2, kDefaultPages, false}, "http://h/ 1 800x600 300 0"},
        // Commas would end the URL and blanks would be dropped: both arrive escaped, whole.
        {{"http://h/a,b.html?x=1,2", true, 3, 0, false}, "http://h/a%2Cb.html?x=1%2C2 1 1024x768 100 0"},
        {{" http://h/my page.html\t", true, 3, 0, false}, "http://h/my%20page.html 1 1024x768 100 0"},
        {{bom + "http://h/bom.html", true, 3, 0, false}, "http://h/bom.html 1 1024x768 100 0"},
        {{"http://h/caf\xc3\xa9.html", true, 3, 0, false}, "http://h/caf\xc3\xa9.html 1 1024x768 100 0"},
        {{"HTTPS://h/secure/", true, 3, 0, false}, "HTTPS://h/secure/ 1 1024x768 100 0"},
        {{h + std::string(118, 'x'), true, 3, 0, false}, h + std::string(118, 'x') + " 1 1024x768 100 0"},
        {{h + std::string(119, 'x'), true, 3, 0, false}, "refused"},  // longer than Save writes
        {{"", true, 3, 0, false}, "refused"},
        {{"ftp://h/", true, 3, 0, false}, "refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("typed: " + c.typed.url);
        // What Save does: check the URL, then write the line of the cleaned URL.
        if (checkInitialUrl(c.typed.url).problem != UrlProblem::None) {
            EXPECT_EQ("refused", c.read);
            continue;
        }
        SettingsLine saved = c.typed;
        saved.url = cleanUrl(c.typed.url);
        const std::string line = formatSettingsLine(saved);
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
