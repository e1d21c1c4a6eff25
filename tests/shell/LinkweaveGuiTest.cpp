// The whole program under X: linkweave in a scratch folder crawls the fixture site from
// a real HTTP server on 127.0.0.1 while xdotool works its mouse and keys. The test reads
// the window's pixels (the panels' texts against the golden screens, sprites, the scene's
// colours), debug.txt against the golden traces, what a stand-in xdg-open was handed and
// the pictures F12 saves; and how the program ends with Escape.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ranges>
#include <regex>
#include <thread>
#include <tuple>

#include "base/Clock.h"
#include "shell/FrameClock.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/XDriver.h"

namespace {

using namespace std::chrono_literals;

constexpr int W = 800, H = 600, B = H - 220;
using Sprite = std::tuple<int, int, int, int>;  // on the sprite sheet: left, top, right, bottom
constexpr Sprite kPaused{40, 48, 136, 56}, kRunning{40, 56, 136, 64}, kPointer{0, 88, 10, 98};

class LinkweaveGui : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(x.connected()) << "no X display";
        ASSERT_EQ((sheet = readImage(LW_DATA_DIR "/data2")).width, 192);
        ASSERT_TRUE(server.start());
        server.serveDirectory(LW_FIXTURES "/site");
        // The browser stand-in, first on PATH: it writes down its arguments.
        mkdir("bin", 0755);
        writeFile("bin/xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + dir_ + "/opened.txt\n");
        chmod("bin/xdg-open", 0755);
    }
    // Starts linkweave in a folder of its own on the fixture site (or from another page of
    // the server), 800 x 600 in a window, with the browser stand-in first on PATH unless
    // env sets a PATH.
    void start(const std::string& folder, std::vector<std::string> env = {}, const std::string& page = "/index.html") {
        mkdir(folder.c_str(), 0755);
        writeFile(folder + "/settings.txt", server.url(page) + ",1,2,2,0,\n");
        if (std::ranges::none_of(env, [](const std::string& e) { return e.starts_with("PATH="); }))
            env.push_back("PATH=" + dir_ + "/bin:" + std::getenv("PATH"));
        ASSERT_TRUE(x.start(LW_PROGRAM, dir_ + "/" + folder, env));
    }
    bool spriteAt(const Image& img, Sprite s, int atX, int atY) const {
        const auto [left, top, right, bottom] = s;
        int lit = 0, seen = 0;  // a sprite drawn later may cover a few of its pixels
        for (int y = top; y < bottom; ++y)
            for (int i = left; i < right; ++i)
                if (const uint32_t p = sheet.at(i, y)) ++lit, seen += img.at(atX + i - left, atY + y - top) == p;
        return seen * 4 >= lit * 3;
    }
    bool shows(Sprite s, int atX, int atY) { return spriteAt(x.capture(window), s, atX, atY); }
    // The panels' lines as they read, for the golden screens; the server's port as PORT.
    void read(const std::string& when, const Image& img) {
        screens += "== " + when + "\n";
        for (int y : {4, B + 40, B + 60, B + 70, B + 80, B + 90, B + 100, B + 110, B + 140, B + 160, B + 170, B + 180, B + 190, B + 200})
            screens += std::regex_replace(readText(img, sheet, 10, y, y == B + 170 ? 26 : 100) +
                                              (y == B + 170 ? " | " + readText(img, sheet, 225, y) : ""),
                                          std::regex(std::to_string(server.port())), "PORT") + "\n";
    }
    // The software pointer, pushed into the top left corner where it stops, then moved
    // from there; each time the test waits until it is drawn in its new place.
    void pointTo(int px, int py) {
        for (const auto& [dx, dy, atX, atY] : {std::tuple{-3000, -3000, 0, 0}, {px, py, px, py}}) {
            ASSERT_TRUE(x.xdo("mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy)));
            ASSERT_TRUE(waitUntil([&] { return shows(kPointer, atX, atY); }, 5s)) << atX << "," << atY;
        }
    }
    // Input is polled, not queued: a press is held over a few frames.
    void click() { ASSERT_TRUE(x.xdo("mousedown 1 sleep 0.1 mouseup 1")); }
    void press(const std::string& key) { ASSERT_TRUE(x.xdo("keydown " + key + " sleep 0.1 keyup " + key)); }
    std::string speedShown() { return readText(x.capture(window), sheet, 370, B + 140, 12); }
    bool crawlDone(const std::string& folder) {
        const std::vector<std::string> log = readLines(folder + "/debug.txt");
        return log.size() > 2 && log.end()[-2] == "Done!!" && log.back() == "OK";
    }
    // debug.txt whole: the set-up's golden trace, then the crawl's with this server's address.
    void expectSiteTrace(const std::string& folder) {
        std::vector<std::string> expected = readLines(LW_FIXTURES "/render/setup-hardware-window.txt");
        expected.erase(std::ranges::find(expected, "Done Setup") + 2, expected.end());
        for (const std::string& line : readLines(LW_FIXTURES "/site-trace.txt") | std::views::drop(1))
            expected.push_back(std::regex_replace(line, std::regex("PORT"), std::to_string(server.port())));
        EXPECT_EQ(readLines(folder + "/debug.txt"), expected);
    }

    XDriver x;
    Image sheet;
    LoopbackServer server;
    unsigned long window = 0;
    std::string screens;
};

TEST_F(LinkweaveGui, CrawlsTheSiteWhileMouseAndKeysWorkItsControls) {
    start("run", {"HOME=" + dir_});  // the picture's note writes the home folder as ~
    ASSERT_NE(window = x.waitForWindow("Linkweave"), 0u);
    ASSERT_TRUE(waitUntil([&] { return readText(x.capture(window), sheet, 10, 4).starts_with("Linkweave"); })) << "no frame";
    // Before the trace: paused, nothing asked, slot 0 selected.
    read("before the trace", x.capture(window));
    EXPECT_TRUE(shows(kPaused, 100, B + 140));
    EXPECT_EQ(server.requestCount(), 0u);

    // + on the main keyboard and the keypad, - on the keypad: one speed a press, up to
    // the fastest, at which the crawl's trace is still that of one step a frame.
    for (const auto& [key, shown] : {std::pair{"equal", "Speed: x4"}, {"KP_Add", "Speed: x16"}, {"equal", "Speed: x64"},
                                     {"equal", "Speed: x256"}, {"KP_Add", "Speed: max"}, {"KP_Subtract", "Speed: x256"},
                                     {"equal", "Speed: max"}}) {
        press(key);
        ASSERT_TRUE(waitUntil([&] { return speedShown() == shown; }, 5s)) << key << " gave " << speedShown();
    }

    // A click on the running half of the run-state image, and the crawl runs to its end
    // (too soon, at this speed, to be sure of catching the image showing "Running").
    pointTo(188, H - 75);
    click();
    ASSERT_TRUE(waitUntil([&] { return crawlDone("run"); }, 60s));
    expectSiteTrace("run");

    // Finished: the panels say so (the golden screens); link lines in blue at their start,
    // and the root, still selected, white in the middle where the view has glided to,
    // give or take the glide's band.
    pointTo(130, B + 45);  // over the open-page bar, out of the scene; the glide ended long ago
    const Image done = x.capture(window);
    read("crawl finished", done);
    int blue = 0, whiteInTheMiddle = 0;
    for (int i = 0; i < W * (B + 20); ++i) {
        const int r = done.rgb[i] >> 16, g = (done.rgb[i] >> 8) & 0xFF, b = done.rgb[i] & 0xFF;
        blue += b > 120 && r < 60 && g < 60;
        whiteInTheMiddle += std::min({r, g, b}) > 170 && std::abs(i % W - W / 2) <= 48 && std::abs(i / W - H / 2) <= 48;
    }
    EXPECT_GT(blue, 20);
    EXPECT_GT(whiteInTheMiddle, 200);  // most of its 20 x 20 pixels
    expectGolden(LW_FIXTURES "/shell/linkweave-screens.txt", screens);

    // Key 5 selects page 5; the open-page bar hands its URL to xdg-open, once. Escape ends it all.
    press("5");
    ASSERT_TRUE(waitUntil([&] { return readText(x.capture(window), sheet, 10, B + 60) == "  Selected Node: 5"; }));
    click();
    ASSERT_TRUE(waitUntil([&] { return !readLines("opened.txt").empty(); }, 5s));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(readLines("opened.txt"), std::vector<std::string>{readText(x.capture(window), sheet, 10 + 8 * 17, B + 70)});

    // F12 held over many key repeats saves one picture of the window, its size and its
    // pixels but for the note it brings under the banner, naming the folder; the next
    // press the next number.
    ASSERT_TRUE(x.xdo("keydown F12 sleep 1.5 keyup F12"));
    ASSERT_TRUE(waitUntil([&] { return readText(x.capture(window), sheet, 10, 16) == "Saved linkweave-001.png in ~/run"; }, 5s));
    const Image shown = x.capture(window), saved = readImage("run/linkweave-001.png");
    ASSERT_EQ(std::make_pair(saved.width, saved.height), std::make_pair(W, H));
    int differ = 0;
    for (int i = 0; i < W * H; ++i) differ += (i / W < 16 || i / W >= 24) && saved.rgb[i] != shown.rgb[i];
    EXPECT_EQ(differ, 0);
    ASSERT_TRUE(x.xdo("key F12"));
    ASSERT_TRUE(waitUntil([&] { return readImage("run/linkweave-002.png").width == W; }, 5s));
    EXPECT_FALSE(std::filesystem::exists("run/linkweave-003.png"));
    ASSERT_TRUE(x.xdo("key Escape"));
    EXPECT_EQ(x.waitExit(), 0);
    EXPECT_EQ(readLines("run/stderr.txt"), std::vector<std::string>{});
}

// Titles past ASCII, in UTF-8 or Windows-1252, show in NODE INFO letter for letter, and
// what the font lacks as the replacement mark, each character in one cell.
TEST_F(LinkweaveGui, ShowsTitlesBeyondAsciiLetterForLetter) {
    struct Case { const char* title; const char* shows; };
    const Case cases[] = {
        {"Page 0 \xE2\x80\x94 caf\xC3\xA9", "Page 0 \u2014 caf\u00E9"},
        {"Cr\xE8me br\xFBl\xE9""e \x96 \x80""3", "Cr\u00E8me br\u00FBl\u00E9""e \u2013 \u20AC""3"},
        {"\xC3\x89""cole \xC2\xAB\xC3\x9C""ber\xC2\xBB \xE6\x97\xA5", "\u00C9""cole \u00AB\u00DC""ber\u00BB \uFFFD"},
    };
    std::string links;
    for (size_t i = 1; i < std::size(cases); ++i) links += "<a href=\"" + std::to_string(i) + ".html\">";
    for (size_t i = 0; i < std::size(cases); ++i)
        server.route({.path = "/accents/" + std::to_string(i) + ".html",
                      .body = "<title>" + std::string(cases[i].title) + "</title>" + (i == 0 ? links : "") + "\n"});
    start("accents", {}, "/accents/0.html");
    ASSERT_NE(window = x.waitForWindow("Linkweave"), 0u);
    pointTo(188, H - 75);
    click();
    ASSERT_TRUE(waitUntil([&] { return crawlDone("accents"); }, 30s)) << readFile("accents/debug.txt");
    for (size_t i = 0; i < std::size(cases); ++i) {
        press(std::to_string(i));
        EXPECT_TRUE(waitUntil([&] {
            return readText(x.capture(window), sheet, 10, B + 80) == std::string("     Node Title: ") + cases[i].shows;
        }, 5s)) << i << ": " << readText(x.capture(window), sheet, 10, B + 80);
    }
    ASSERT_TRUE(x.xdo("key Escape"));
    EXPECT_EQ(x.waitExit(), 0);
}

// With no xdg-open on PATH, the open-page bar says so in the window instead of nothing.
TEST_F(LinkweaveGui, SaysInTheWindowWhenNoBrowserCanBeStarted) {
    mkdir("empty", 0755);
    start("no-browser", {"PATH=" + dir_ + "/empty"});
    ASSERT_NE(window = x.waitForWindow("Linkweave"), 0u);
    pointTo(130, B + 45);
    click();
    EXPECT_TRUE(waitUntil([&] {
        return readText(x.capture(window), sheet, 10, 16) == "Cannot open the page: no xdg-open (install xdg-utils)";
    }, 5s));
    ASSERT_TRUE(x.xdo("key Escape"));
    EXPECT_EQ(x.waitExit(), 0);
}

// A window goes on crawling and drawing while another window has the focus, and rests
// while it is hidden. A press held as the focus leaves is not held when it comes back.
// The crawl goes at one step a frame, to the golden trace.
TEST_F(LinkweaveGui, KeepsCrawlingWhileAnotherWindowHasTheFocusAndRestsWhileHidden) {
    start("run");
    ASSERT_NE(window = x.waitForWindow("Linkweave"), 0u);
    const auto helpShown = [&] { return readText(x.capture(window), sheet, 10, 30, 4) == "HELP"; };
    // The button goes down on the question-mark icon, the focus leaves, the button comes up.
    pointTo(W - 13, H - 13);
    ASSERT_TRUE(x.xdo("mousedown 1"));
    ASSERT_TRUE(waitUntil(helpShown, 5s));
    ASSERT_NE(x.takeFocus(), 0u);
    ASSERT_TRUE(x.xdo("sleep 0.3 mouseup 1 sleep 0.3"));
    ASSERT_TRUE(x.xdo("windowfocus --sync " + std::to_string(window) + " sleep 0.5"));
    EXPECT_TRUE(helpShown()) << "the panel flipped on the focus's return";

    pointTo(188, H - 75);
    click();
    ASSERT_TRUE(waitUntil([&] { return shows(kRunning, 100, B + 140); }));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() > 0; }));
    ASSERT_NE(x.takeFocus(), 0u);
    // Hidden, nothing moves on: no line in debug.txt, no request.
    ASSERT_TRUE(x.xdo("windowunmap --sync " + std::to_string(window) + " sleep 0.3"));
    const std::string trace = readFile("run/debug.txt");
    const size_t requests = server.requestCount();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(readFile("run/debug.txt") == trace && server.requestCount() == requests) << "crawled while hidden";
    // Shown again, it crawls to the end and draws it, while the other window keeps the focus.
    ASSERT_TRUE(x.xdo("windowmap --sync " + std::to_string(window)));
    ASSERT_TRUE(waitUntil([&] { return crawlDone("run"); }, 60s));
    ASSERT_TRUE(waitUntil([&] { return readText(x.capture(window), sheet, 202, B + 140, 18) == "  Finished Tracing"; }, 5s));
    expectSiteTrace("run");
    EXPECT_EQ(speedShown(), "Speed: x1");
    ASSERT_TRUE(x.xdo("windowfocus --sync " + std::to_string(window) + " key Escape"));
    EXPECT_EQ(x.waitExit(), 0);
}

// While a page is on its way the window goes on: TRACE INFO says "getting page", the
// pointer follows the mouse and the DEBUG panel's rate counts the frames; once the page
// has come, the trace is the one a fetch that blocks writes.
TEST_F(LinkweaveGui, DrawsOnWhileAPageIsOnItsWay) {
    server.route({.path = "/far.html", .body = "<title>Far</title><p>.", .delayMs = 4000});
    start("far", {}, "/far.html");
    ASSERT_NE(window = x.waitForWindow("Linkweave"), 0u);
    pointTo(W - 24, H - 13);  // the D icon: the DEBUG panel
    click();
    pointTo(188, H - 75);
    click();
    const auto gettingPage = [&] { return readText(x.capture(window), sheet, 202, B + 140, 14) == "  getting page"; };
    ASSERT_TRUE(waitUntil(gettingPage, 5s));
    pointTo(300, 200);  // drawn where the mouse went, while the page is still on its way
    const auto rate = [&] { return std::atoi(readText(x.capture(window), sheet, 10, 170, 12).substr(5).c_str()); };
    EXPECT_TRUE(waitUntil([&] { return rate() > 1; }, 2s)) << readText(x.capture(window), sheet, 10, 170, 12);
    EXPECT_TRUE(gettingPage()) << "the page came before the window was seen to go on";
    EXPECT_EQ(readFile("far/debug.txt").find("getting page"), std::string::npos) << "written before the page came";
    ASSERT_TRUE(waitUntil([&] { return crawlDone("far"); }, 15s));
    EXPECT_FALSE(gettingPage());
    const std::vector<std::string> trace = readLines("far/debug.txt");
    const std::vector<std::string> fetch = {"------------------------------", "OK", "getting page", "OK", server.url("/far.html"),
                                            "OK", "got page", "OK", "No Errors", "OK", "finding links", "OK", "Done!!", "OK"};
    EXPECT_TRUE(trace.size() >= fetch.size() && std::equal(fetch.begin(), fetch.end(), trace.end() - fetch.size()));
    ASSERT_TRUE(x.xdo("key Escape"));
    EXPECT_EQ(x.waitExit(), 0);
}

// The program's clock counts from long before its first frame: the rate reads 1 from
// the first frame on, not 0 for a whole second.
TEST(FrameClock, FirstFrameOnTheProgramsClockReportsOneFramePerSecond) {
    FrameClock clock;
    clock.tick(monotonicMilliseconds());
    EXPECT_EQ(clock.framesPerSecond, 1u);
}

}  // namespace
