// The whole program under X: linkweave in a scratch folder crawls the fixture site from
// a real HTTP server on 127.0.0.1 while xdotool works the mouse and keyboard; the test
// reads debug.txt, the window's real pixels (panel texts compared glyph by glyph with
// the font of the sprite sheet, the colours of the scene) and what a stand-in xdg-open
// was handed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

constexpr int W = 800, H = 600, B = H - 220;
constexpr uint32_t kFontColour = 0xE0E0E0;

struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB
    uint32_t at(int x, int y) const { return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : rgb[y * width + x]; }
};

// xdotool chains commands, so a press, its hold and the frames given to the program to
// poll it (input is polled, not queued) go in one call.
void xdo(const std::string& args) { ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

// The sprite sheet as the program loads it, to compare glyphs and sprites with.
Image loadSheet() {
    SDL_Surface* loaded = SDL_LoadBMP(LW_DATA_DIR "/data2");
    SDL_Surface* s = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    SDL_FreeSurface(loaded);
    Image sheet{s ? s->w : 0, s ? s->h : 0, {}};
    for (int y = 0; y < sheet.height; ++y)
        for (int x = 0; x < sheet.width; ++x) sheet.rgb.push_back(static_cast<const uint32_t*>(s->pixels)[y * (s->pitch / 4) + x] & 0xFFFFFF);
    SDL_FreeSurface(s);
    return sheet;
}

class LinkweaveGui : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "no X display";
        sheet_ = loadSheet();
        ASSERT_EQ(sheet_.width, 192);
        ASSERT_TRUE(server_.start());
        server_.serveDirectory(LW_FIXTURES "/site");
        ASSERT_EQ(symlink(LW_DATA_DIR, "data"), 0);
        writeFile("settings.txt", server_.url("/index.html") + ",1,2,2,0,\n");  // 800 x 600, windowed
        // The browser stand-in, first on PATH: it writes down its arguments.
        mkdir("bin", 0755);
        writeFile("bin/xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + dir_ + "/opened.txt\n");
        chmod("bin/xdg-open", 0755);
    }
    void TearDown() override {
        if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
        server_.stop();
        if (display_) XCloseDisplay(display_);
        TempDirTest::TearDown();
    }

    void start() {
        // The stand-in xdg-open comes first on the PATH the program inherits.
        setenv("PATH", (dir_ + "/bin:" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")).c_str(), 1);
        char* argv[] = {const_cast<char*>(LW_PROGRAM), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, LW_PROGRAM, nullptr, nullptr, argv, environ), 0);
        for (int i = 0; i < 100 && !hasLine("Done Setup"); ++i) std::this_thread::sleep_for(100ms);
        xdo("search --sync --pid " + std::to_string(pid_) + " --name '^Linkweave$' > window.txt");
        window_ = readLines("window.txt").at(0);
        xdo("windowfocus --sync " + window_ + " sleep 0.5");
    }

    bool hasLine(const std::string& line) { return std::ranges::count(readLines("debug.txt"), line) > 0; }

    Image capture() {
        Image img{W, H, std::vector<uint32_t>(W * H)};
        XImage* x = XGetImage(display_, static_cast<Window>(std::stoul(window_)), 0, 0, W, H, AllPlanes, ZPixmap);
        for (int y = 0; x && y < H; ++y)
            for (int i = 0; i < W; ++i) img.rgb[y * W + i] = XGetPixel(x, i, y) & 0xFFFFFF;
        if (x) XDestroyImage(x);
        return img;
    }

    // Every cell of text at (x, y) is its glyph: glyph pixels in the font's colour and no
    // font-coloured pixel elsewhere in the cell (a blank cell has none at all).
    bool textAt(const Image& img, int x, int y, const std::string& text) const {
        for (size_t i = 0; i < text.size(); ++i)
            for (int d = 0; d < 64; ++d) {
                const int c = static_cast<unsigned char>(text[i]), g = c - 33, dx = d % 8, dy = d / 8;
                const uint32_t glyph = (c > 32 && c < 128) ? sheet_.at(8 * (g % 15) + dx, 8 * (g / 15) + dy) : 0;
                const uint32_t seen = img.at(x + 8 * static_cast<int>(i) + dx, y + dy);
                if (glyph ? seen != glyph : seen == kFontColour) return false;
            }
        return true;
    }

    int selected(const Image& img) const {
        for (int n = 0; n < 300; ++n)
            if (textAt(img, 10, B + 60, "  Selected Node: " + std::to_string(n) + " ")) return n;
        return -1;
    }

    // Top left of a sprite whose non-black pixels all appear on screen, or (-1, -1).
    std::pair<int, int> findSprite(const Image& img, int left, int top, int right, int bottom) const {
        std::vector<std::tuple<int, int, uint32_t>> pixels;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (uint32_t p = sheet_.at(x, y)) pixels.emplace_back(x - left, y - top, p);
        for (int y = 0; y + (bottom - top) <= H; ++y)
            for (int x = 0; x + (right - left) <= W; ++x)
                if (std::all_of(pixels.begin(), pixels.end(), [&](const auto& p) {
                        return img.at(x + std::get<0>(p), y + std::get<1>(p)) == std::get<2>(p); }))
                    return {x, y};
        return {-1, -1};
    }

    // Waits until the scene stops moving (the target's glide has ended).
    void waitUntilStill() {
        for (int i = 0; i < 40; ++i) {
            const Image before = capture();
            std::this_thread::sleep_for(300ms);
            if (capture().rgb == before.rgb) return;
        }
        ADD_FAILURE() << "the view never came to rest";
    }

    // The software pointer starts in the middle; pushed into the top left corner it
    // stops at (0, 0), from where a relative move puts it anywhere.
    void pointTo(int x, int y) {
        xdo("mousemove_relative -- -3000 -3000 sleep 0.2 mousemove_relative -- " + std::to_string(x) + " " +
            std::to_string(y) + " sleep 0.3");
    }
    // A press held over a few frames: input is polled, not queued.
    void click() { xdo("mousedown 1 sleep 0.15 mouseup 1 sleep 0.3"); }
    void tap(const std::string& key, const std::string& hold = "0.06") {
        xdo("keydown " + key + " sleep " + hold + " keyup " + key + " sleep 0.4");
    }

    Display* display_ = nullptr;
    Image sheet_;
    LoopbackServer server_;
    pid_t pid_ = -1;
    std::string window_;
};

TEST_F(LinkweaveGui, CrawlsOnAClickThenKeysClicksAndTheOpenBarWork) {
    start();

    // 1. Before the trace: paused, slot 0 selected, the panels in their places.
    Image first = capture();
    EXPECT_TRUE(textAt(first, 10, 4, "Linkweave Beta - https://linkweave.example/"));
    EXPECT_TRUE(textAt(first, 10, B + 40, "NODE INFO"));
    EXPECT_TRUE(textAt(first, 10, B + 140, "TRACE INFO"));
    EXPECT_TRUE(textAt(first, 10, B + 70, "       Node URL: " + server_.url("/index.html")));
    EXPECT_TRUE(textAt(first, 10, B + 160, "          Total Nodes: 1"));
    EXPECT_EQ(findSprite(first, 40, 48, 136, 56), std::make_pair(100, B + 140));  // "Paused"
    EXPECT_EQ(server_.requestCount(), 0u);

    // 2. A click on the running half of the run-state image starts the crawl.
    pointTo(188, H - 75);
    click();
    // 3. Paused while the crawl works on a page away from the root, a left click on the
    // crawl marker selects the page it frames. A page only just found may not be placed
    // yet, so the crawl runs on to a later page until a click selects one.
    int picked = 0;
    for (int i = 0; i < 300 && picked <= 0 && !hasLine("Done!!"); ++i) {
        const auto m = findSprite(capture(), 80, 143, 113, 177);
        if (m.first < 0 || (std::abs(m.first + 16 - W / 2) <= 60 && std::abs(m.second + 17 - H / 2) <= 60)) continue;
        pointTo(165, H - 75);
        click();
        waitUntilStill();
        const auto still = findSprite(capture(), 80, 143, 113, 177);
        pointTo(still.first + 16, still.second + 17);
        click();
        if ((picked = selected(capture())) <= 0) {
            pointTo(188, H - 75);  // running again
            click();
        }
    }
    ASSERT_GT(picked, 0) << "no click on a page away from the root selected it";
    tap("0");

    // Running again, the crawl goes on to its end.
    pointTo(188, H - 75);
    click();
    for (int i = 0; i < 1200 && !hasLine("Done!!"); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(hasLine("Done!!"));
    std::this_thread::sleep_for(500ms);

    // The trace from the first crawl entry on equals the committed one.
    const std::string authority = "127.0.0.1:" + std::to_string(server_.port());
    auto fromFirstEntry = [](std::vector<std::string> v) { return decltype(v)(std::ranges::find(v, std::string(30, '-')), v.end()); };
    std::vector<std::string> expected = readLines(LW_FIXTURES "/site-trace.txt");
    for (std::string& line : expected) line = std::regex_replace(line, std::regex("127\\.0\\.0\\.1:PORT"), authority);
    EXPECT_EQ(fromFirstEntry(readLines("debug.txt")), fromFirstEntry(expected));

    // 4. Finished: the panels say so, the scene shows blue and red link lines.
    Image done = capture();
    EXPECT_TRUE(textAt(done, 202, B + 140, "  Finished Tracing"));
    EXPECT_TRUE(textAt(done, 10, B + 80, "     Node Title: Fixture Home"));
    EXPECT_TRUE(textAt(done, 10, B + 100, "    Status Code: 200"));
    // The scene: blue and red link lines, yellow squares of the pages answered 200, and
    // the selected root, white, where the view has glided to: the middle of the window,
    // give or take the glide's stopping band of 0.2, a few dozen pixels here.
    int blue = 0, red = 0, yellow = 0, whiteInTheMiddle = 0;
    for (int y = 20; y < B + 20; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t p = done.at(x, y);
            const int r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
            blue += b > 120 && r < 60 && g < 60;
            red += r > 120 && b < 60 && g < 60;
            yellow += r > 150 && g > 150 && b < 90;
            whiteInTheMiddle += r > 170 && g > 170 && b > 170 && std::abs(x - W / 2) <= 48 && std::abs(y - H / 2) <= 48;
        }
    EXPECT_GT(std::min({blue, red, yellow}), 20) << blue << " blue, " << red << " red, " << yellow << " yellow";
    EXPECT_GT(whiteInTheMiddle, 200);  // most of its 20 x 20 pixels
    EXPECT_EQ(selected(done), 0);

    // 5. Selection keys: a digit, then J and H held for a moment.
    tap("5");
    EXPECT_EQ(selected(capture()), 5);
    tap("j");
    EXPECT_GT(selected(capture()), 5);
    tap("h", "1.5");
    EXPECT_EQ(selected(capture()), 0);

    // 6. The open-page bar hands the selected page's URL to xdg-open, once.
    pointTo(130, B + 45);
    click();
    std::vector<std::string> opened;
    for (int i = 0; i < 50 && (opened = readLines("opened.txt")).empty(); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind("http://" + authority + "/", 0), 0u) << opened[0];
    EXPECT_TRUE(textAt(capture(), 10, B + 70, "       Node URL: " + opened[0]));
}

}  // namespace
