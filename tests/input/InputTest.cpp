// What the user's keys and mouse do: sessions of frames from fixtures/input/session.txt
// through the devices (over a scripted platform that can lose its input, with the SDL
// key codes), the viewer, the icons, the selection and speed keys, as the main loop runs
// them. The state after each step is compared whole with the golden trace. And the
// speed keys' effect on a whole crawl of the fixture site.

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

#include "base/DebugLog.h"
#include "input/Input.h"
#include "input/SdlInput.h"
#include "render/Engine.h"
#include "shell/Frame.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "web/CurlHttpClient.h"
#include "webspace/Webspace.h"

namespace {

// The platform's side: what the script says is held and moved, or lost input.
struct ScriptedInput : InputBackend {
    ResultCode readResult = kOk;
    int acquires = 0;
    uint8_t keys[kKeyCount] = {};
    DIMOUSESTATE mouse{};

    ResultCode createDevice(InputDeviceKind) override { return kOk; }
    ResultCode setCooperativeLevel(InputDeviceKind, InputWindow, uint32_t) override { return kOk; }
    ResultCode acquire(InputDeviceKind) override { ++acquires; return kOk; }
    ResultCode getDeviceState(InputDeviceKind kind, uint32_t size, void* data) override {
        std::memset(data, 0x55, size);  // a failed read may leave garbage behind
        if (readResult == kOk) std::memcpy(data, kind == InputDeviceKind::Keyboard ? static_cast<void*>(keys) : &mouse, size);
        return readResult;
    }
};

// The engine of an 800 x 600 display without a device: the view matrix is only kept.
struct DevicelessEngine {
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = kPageSlots;
    Engine engine{nullptr, url, &maxPages};
    DevicelessEngine() { engine.display.displayWidth = 800, engine.display.displayHeight = 600; }
};

// The frame's parts over the scripted devices, with a recording browser.
struct Session : PageOpener, DevicelessEngine {
    std::unique_ptr<Webspace> space{new Webspace};
    ScriptedInput input;
    InputSystem system;
    int opened = 0;
    Frame parts{*space, engine, *this};
    Viewer& viewer = parts.viewer;
    int32_t& selected = parts.selectedNode;

    Session() { system.create(&input), parts.keyboard.create(system, nullptr), parts.mouse.create(system, nullptr); }
    bool open(const char*) override { return ++opened; }
    // One frame as the main loop runs it: the viewer, the crawl's steps (none while it is
    // paused, as it starts), then the keys read again for the selection and the speed.
    void frame() { viewer.update(), parts.crawl(0), parts.applyKeys(); }
    void run(const std::string& command, const std::string& rest) {
        std::istringstream step(rest);
        float a = 0, b = 0, c = 0;
        int n = 0;
        std::string word;
        if (command == "spin") step >> viewer.spin.x >> viewer.spin.y;
        if (command == "turn") step >> viewer.rotation.x;
        if (command == "distance") step >> viewer.distance;
        if (command == "pointer") step >> viewer.pointer.x >> viewer.pointer.y;
        if (command == "target") step >> viewer.target.x >> viewer.target.y >> viewer.target.z;
        if (command == "selected") step >> selected;
        if (command == "paused" && step >> n) space->paused = static_cast<uint8_t>(n);
        if (command == "pages" && step >> n)
            for (int i = space->nodeCount; i < n; ++i) space->findOrAdd(("http://127.0.0.1/" + std::to_string(i)).c_str(), -1);
        if (command == "screen" && step >> n >> a >> b) space->pages[n].screen = Vector3(a, b, 0);
        if (command == "place" && step >> n >> a >> b >> c) space->pages[n].position = Vector3(a, b, c);
        if (command == "url" && step >> n >> word) copyText(space->pages[n].url, word.c_str());
        if (command == "lost") input.readResult = DIERR_INPUTLOST;
        if (command == "presses" && step >> n) {
            const std::string keys = rest.substr(rest.find(' ') + 1);
            while (n-- > 0) run("frames", "1 0 0 - " + keys), run("frames", "1 0 0 -");
        }
        if (command != "frames" || !(step >> n >> input.mouse.lX >> input.mouse.lY >> word)) return;
        input.mouse.rgbButtons[0] = word.find('l') != std::string::npos ? 0x80 : 0;  // buttons: l, r, lr or -
        input.mouse.rgbButtons[1] = word.find('r') != std::string::npos ? 0x80 : 0;
        std::memset(input.keys, 0, sizeof input.keys);
        while (step >> word) {  // keys held, by SDL's names with '_' for a blank
            std::replace(word.begin(), word.end(), '_', ' ');
            input.keys[SdlInput::keyCode(SDL_GetScancodeFromName(word.c_str()))] = 0x80;
        }
        while (n-- > 0) frame();
    }
    std::string state() const {
        const Viewer& v = viewer;
        char line[600];
        std::snprintf(line, sizeof line, "distance %g spin %g %g turn %g tilt %g pointer %g %g eye %g %g %g target %g %g %g "
                      "hovered %d selected %d paused %d help %d debug %d opened %d acquired %d label '%s' %s", v.distance, v.spin.x,
                      v.spin.y, v.rotation.x, v.rotation.y, v.pointer.x, v.pointer.y, v.eye.x, v.eye.y, v.eye.z, v.target.x,
                      v.target.y, v.target.z, v.hoveredNode, selected, space->paused, parts.icons.helpVisible, parts.icons.debugVisible, opened,
                      input.acquires, parts.icons.pageLabel, parts.crawlSpeed.label());
        return line;
    }
};

using SpeedCrawl = TempDirTest;

// Each press of + crawls the fixture site (a real server on 127.0.0.1) to "Done!!" in
// fewer frames, and debug.txt stays the trace of a step a frame: the same steps in the
// same order, never two fetches in one frame. Every answer takes 50 ms; before each frame
// the answers asked so far have come, as they would over the frames a page takes.
TEST_F(SpeedCrawl, EachPressOfPlusReachesDoneInFewerFramesWithTheSameTrace) {
    // From x64 on, each of the 37 fetches ends its frame, one more frame finds the end, and
    // a frame waits for each page the cursor reached before its answer could come: the
    // root, and one found and reached in the same frame.
    struct Row { int presses; const char* speed; int frames; } const rows[] = {
        {0, "Speed: x1", 765}, {1, "Speed: x4", 200}, {2, "Speed: x16", 70}, {3, "Speed: x64", 40},
        {4, "Speed: x256", 40}, {5, "Speed: max", 40}, {8, "Speed: max", 40}};
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    server.serveDirectory(LW_FIXTURES "/site");
    server.delayEveryAnswer(50);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.speed);
        auto session = std::make_unique<Session>();
        CurlHttpClient client;
        Webspace& space = *session->space;
        space.httpClient = &client;
        session->run("presses", std::to_string(row.presses) + " =");
        startDebugLog();
        space.findOrAdd(server.url("/index.html").c_str(), -1);
        space.paused = 0;
        int frames = 0;
        for (; !space.finished && frames < 100000; ++frames) {
            ASSERT_TRUE(client.waitForAnswers(5000));
            const size_t fetches = readLines("debug.txt").size();
            session->frame();
            const std::vector<std::string> trace = readLines("debug.txt");
            ASSERT_LE(std::count(trace.begin() + fetches, trace.end(), "getting page"), 1) << "frame " << frames;
        }
        EXPECT_STREQ(session->parts.crawlSpeed.label(), row.speed);
        EXPECT_EQ(frames, row.frames);
        expectGolden(LW_FIXTURES "/site-trace.txt", readFile("debug.txt"), {server.port()});
    }
}

TEST(Input, SessionsOfFramesLeaveTheGoldenTrace) {
    std::unique_ptr<Session> session;
    const std::string trace = traceOf(LW_FIXTURES "/input/session.txt", [&](const std::string& command, const std::string& rest) {
        if (command == "reset" || !session) session = std::make_unique<Session>();
        session->run(command, rest);
        return command == "frames" || command == "presses" ? session->state() : "";
    });
    expectGolden(LW_FIXTURES "/input/session-trace.txt", trace);
}

}  // namespace
