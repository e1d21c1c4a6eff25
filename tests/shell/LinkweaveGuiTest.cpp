// The whole program under X: linkweave in a scratch folder crawls the fixture site from
// a real HTTP server on 127.0.0.1 while xdotool works the mouse and keyboard; the test
// reads debug.txt, the window's real pixels (panel texts compared glyph by glyph with
// the font of the sprite sheet, the colours of the scene) and what a stand-in xdg-open
// was handed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

void xdo(const std::string& args) { ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

Image loadSheet() {
    Image sheet;
    SDL_Surface* loaded = SDL_LoadBMP(LW_DATA_DIR "/data2");
    if (!loaded) return sheet;
    SDL_Surface* s = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    sheet.width = s->w;
    sheet.height = s->h;
    sheet.rgb.resize(static_cast<size_t>(s->w) * s->h);
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x)
            sheet.rgb[y * s->w + x] = static_cast<const uint32_t*>(s->pixels)[y * (s->pitch / 4) + x] & 0xFFFFFF;
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
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        server_.stop();
        if (display_) XCloseDisplay(display_);
        TempDirTest::TearDown();
    }

    void start() {
        const std::string path = dir_ + "/bin:" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
        pid_ = fork();
        if (pid_ == 0) {
            setenv("PATH", path.c_str(), 1);
            setenv("no_proxy", "127.0.0.1", 1);
            execl(LW_PROGRAM, LW_PROGRAM, static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && !hasLine("Done Setup"); ++i) std::this_thread::sleep_for(100ms);
        window_ = run("xdotool search --sync --pid " + std::to_string(pid_) + " --name '^Linkweave$' | head -1");
        ASSERT_FALSE(window_.empty());
        xdo("windowfocus --sync " + window_);
        std::this_thread::sleep_for(500ms);
    }

    bool hasLine(const std::string& line) {
        for (const std::string& l : readLines("debug.txt"))
            if (l == line) return true;
        return false;
    }

    Image capture() {
        Image img;
        const Window w = static_cast<Window>(std::stoul(window_));
        XImage* x = XGetImage(display_, w, 0, 0, W, H, AllPlanes, ZPixmap);
        if (!x) return img;
        img.width = W;
        img.height = H;
        img.rgb.resize(W * H);
        for (int y = 0; y < H; ++y)
            for (int i = 0; i < W; ++i) img.rgb[y * W + i] = XGetPixel(x, i, y) & 0xFFFFFF;
        XDestroyImage(x);
        return img;
    }

    // Every cell of text at (x, y) is its glyph: glyph pixels in the font's colour and no
    // font-coloured pixel elsewhere in the cell (a blank cell has none at all).
    bool textAt(const Image& img, int x, int y, const std::string& text) const {
        for (size_t i = 0; i < text.size(); ++i) {
            const int c = static_cast<unsigned char>(text[i]);
            const int g = c - 33;
            for (int dy = 0; dy < 8; ++dy)
                for (int dx = 0; dx < 8; ++dx) {
                    const uint32_t glyph = (c > 32 && c < 128) ? sheet_.at(8 * (g % 15) + dx, 8 * (g / 15) + dy) : 0;
                    const uint32_t seen = img.at(x + 8 * static_cast<int>(i) + dx, y + dy);
                    if (glyph ? seen != glyph : seen == kFontColour) return false;
                }
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
            for (int x = 0; x + (right - left) <= W; ++x) {
                bool all = true;
                for (const auto& [dx, dy, p] : pixels)
                    if (img.at(x + dx, y + dy) != p) {
                        all = false;
                        break;
                    }
                if (all) return {x, y};
            }
        return {-1, -1};
    }

    // Waits until the scene stops moving (the target's glide has ended).
    void waitUntilStill() {
        Image last = capture();
        for (int i = 0; i < 40; ++i) {
            std::this_thread::sleep_for(300ms);
            Image now = capture();
            if (now.rgb == last.rgb) return;
            last = std::move(now);
        }
        ADD_FAILURE() << "the view never came to rest";
    }

    // The software pointer starts in the middle; pushed into the top left corner it
    // stops at (0, 0), from where a relative move puts it anywhere.
    void pointTo(int x, int y) {
        xdo("mousemove_relative -- -3000 -3000");
        std::this_thread::sleep_for(200ms);
        xdo("mousemove_relative -- " + std::to_string(x) + " " + std::to_string(y));
        std::this_thread::sleep_for(300ms);
    }
    // A press held over a few frames: input is polled, not queued.
    void click() {
        xdo("mousedown 1");
        std::this_thread::sleep_for(150ms);
        xdo("mouseup 1");
        std::this_thread::sleep_for(300ms);
    }
    void tap(const std::string& key, std::chrono::milliseconds hold = 60ms) {
        xdo("keydown " + key);
        std::this_thread::sleep_for(hold);
        xdo("keyup " + key);
        std::this_thread::sleep_for(400ms);
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
    // 3. Paused while the crawl works on a page away from the root: the crawl marker
    // frames that page. Hovering it shows its label; a left click selects it.
    std::pair<int, int> node{-1, -1};
    for (int i = 0; i < 300 && node.first < 0 && !hasLine("Done!!"); ++i) {
        const auto m = findSprite(capture(), 80, 143, 113, 177);
        if (m.first >= 0 && (std::abs(m.first + 16 - W / 2) > 60 || std::abs(m.second + 17 - H / 2) > 60)) {
            pointTo(165, H - 75);
            click();
            waitUntilStill();
            const auto still = findSprite(capture(), 80, 143, 113, 177);
            node = {still.first + 16, still.second + 17};
        }
    }
    ASSERT_GE(node.first, 16) << "the crawl never worked on a page away from the root";
    const std::string authority = "127.0.0.1:" + std::to_string(server_.port());
    pointTo(node.first, node.second);
    // The label starts 10 pixels right of the pointer; its first cells lie under the
    // crawl marker, which is drawn after it.
    // Cells past the window's edge are not drawn, so only those inside are compared.
    const std::string label = std::string("ge: http://" + authority + "/").substr(0, (W - node.first - 26) / 8);
    EXPECT_GE(label.size(), 3u);
    EXPECT_TRUE(textAt(capture(), node.first + 10 + 8 * 2, node.second, label)) << node.first << "," << node.second;
    click();
    EXPECT_GT(selected(capture()), 0);
    tap("0");

    // Running again, the crawl goes on to its end.
    pointTo(188, H - 75);
    click();
    for (int i = 0; i < 1200 && !hasLine("Done!!"); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(hasLine("Done!!"));
    std::this_thread::sleep_for(500ms);

    // The trace from the first crawl entry on equals the committed one.
    const std::string rule = "------------------------------";
    std::vector<std::string> expected = readLines(LW_FIXTURES "/site-trace.txt");
    for (std::string& line : expected) line = std::regex_replace(line, std::regex("127\\.0\\.0\\.1:PORT"), authority);
    std::vector<std::string> actual = readLines("debug.txt");
    auto from = [&](std::vector<std::string>& v) {
        auto it = std::find(v.begin(), v.end(), rule);
        return std::vector<std::string>(it, v.end());
    };
    EXPECT_EQ(from(actual), from(expected));

    // 4. Finished: the panels say so, the scene shows blue and red link lines.
    Image done = capture();
    EXPECT_TRUE(textAt(done, 202, B + 140, "  Finished Tracing"));
    EXPECT_TRUE(textAt(done, 10, B + 80, "     Node Title: Fixture Home"));
    EXPECT_TRUE(textAt(done, 10, B + 100, "    Status Code: 200"));
    // The scene: blue and red link lines, yellow squares of the pages answered 200, and
    // the selected root, white, where the view has glided to: the middle of the window.
    int blue = 0, red = 0, yellow = 0, whiteInTheMiddle = 0;
    for (int y = 20; y < B + 20; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t p = done.at(x, y);
            const int r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (b > 120 && r < 60 && g < 60) ++blue;
            if (r > 120 && b < 60 && g < 60) ++red;
            if (r > 150 && g > 150 && b < 90) ++yellow;
            if (r > 170 && g > 170 && b > 170 && std::abs(x - W / 2) <= 8 && std::abs(y - H / 2) <= 8) ++whiteInTheMiddle;
        }
    EXPECT_GT(blue, 20);
    EXPECT_GT(red, 20);
    EXPECT_GT(yellow, 20);
    EXPECT_GT(whiteInTheMiddle, 4);
    EXPECT_EQ(selected(done), 0);

    // 5. Selection keys: a digit, then J and H held for a moment.
    tap("5");
    EXPECT_EQ(selected(capture()), 5);
    tap("j");
    const int afterJ = selected(capture());
    EXPECT_GT(afterJ, 5);
    tap("h", 1500ms);
    EXPECT_EQ(selected(capture()), 0);

    // 6. The open-page bar hands the selected page's URL to xdg-open, once.
    pointTo(130, B + 45);
    click();
    std::vector<std::string> opened;
    for (int i = 0; i < 50 && opened.empty(); ++i) {
        std::this_thread::sleep_for(100ms);
        opened = readLines("opened.txt");
    }
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind("http://" + authority + "/", 0), 0u) << opened[0];
    EXPECT_TRUE(textAt(capture(), 10, B + 70, "       Node URL: " + opened[0]));

    // Escape ends the program with exit code 0.
    xdo("key Escape");
    int status = 0;
    for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    pid_ = -1;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
