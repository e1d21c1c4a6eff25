// The hand-over of a page to the web browser, and the text a page's bytes show as in
// the sheet's font. (The overlay's clicks are in the input session's golden trace, its
// looks in the renderer's golden frame.)
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>

#include "overlay/BrowserOpener.h"
#include "overlay/Text.h"
#include "support/Images.h"
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

// Titles and URLs hold a page's bytes: UTF-8, or a single-byte Windows code page. Each
// character shows in one cell as its own glyph from the built sheet, or as the
// replacement mark where the sheet has none, never as a blank or as bytes' worth of cells.
TEST(PageText, ShowsEachCharacterInOneCellAsItsGlyphOrTheReplacementMark) {
    const Image sheet = readImage(LW_DATA_DIR "/data2");
    ASSERT_GT(sheet.width, 0);
    struct Case { const char* bytes; const char* shows; };
    for (const Case& c : {
             Case{"Page 0 \xE2\x80\x94 caf\xC3\xA9", "Page 0 \u2014 caf\u00E9"},  // UTF-8
             {"Caf\xE9 cr\xE8me br\xFBl\xE9""e", "Caf\u00E9 cr\u00E8me br\u00FBl\u00E9e"},   // Windows-1252
             {"\x93Zo\xEB\x94 \x80""5 \x85 \x96 \x91x\x92", "\u201CZo\u00EB\u201D \u20AC5 \u2026 \u2013 \u2018x\u2019"},
             {"\xC3\x80\xC3\x89\xC3\x8E\xC3\x95\xC3\x9C\xC3\x85\xC3\x86\xC3\x87\xC3\x98 \xC3\x9F \xC3\xB1 \xC3\xBF",
              "\u00C0\u00C9\u00CE\u00D5\u00DC\u00C5\u00C6\u00C7\u00D8 \u00DF \u00F1 \u00FF"},
             {"\xC5\x92\xC5\x93 \xC5\xA0\xC5\xA1 \xC2\xAB\xC2\xBB \xC2\xA3\xC2\xB0", "\u0152\u0153 \u0160\u0161 \u00AB\u00BB \u00A3\u00B0"},
             {"a\xC2\xA0""b", "a b"},                                    // a no-break space is a blank cell
             {"\xE6\x97\xA5\xE6\x9C\xAC|\xF0\x9F\x8C\xB1|\x81", "\uFFFD\uFFFD|\uFFFD|\uFFFD"},  // not on the sheet
         }) {
        Image screen{8 * 40, 8, std::vector<uint32_t>(8 * 40 * 8, 0)};
        const int cells = forEachGlyph(c.bytes, [&](const Rect& cell, int column) {
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    if (cell.left >= 0) screen.rgb[y * screen.width + 8 * column + x] = sheet.at(cell.left + x, cell.top + y);
        });
        EXPECT_EQ(readText(screen, sheet, 0, 0), c.shows) << c.bytes;
        uint32_t codePoint = 0;
        int characters = 0;
        for (const char* s = c.shows; int n = decodeCharacter(s, codePoint); s += n) ++characters;
        EXPECT_EQ(cells, characters) << c.bytes;
    }
}

}  // namespace
