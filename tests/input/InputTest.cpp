// What the user's keys and mouse do: sessions of frames from fixtures/input/session.txt
// through the devices (over a scripted platform that can lose its input, with the SDL
// key codes), the viewer, the icons and the selection keys, as the main loop runs them.
// The state after each step is compared whole with the golden trace.

#include <SDL.h>

#include <cstring>
#include <memory>
#include <sstream>

#include "input/Input.h"
#include "input/SdlInput.h"
#include "render/Engine.h"
#include "shell/Frame.h"
#include "support/TestSupport.h"
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
    // One frame as the main loop runs it: the viewer, then the keys read again for the selection.
    void frame() { viewer.update(), parts.applySelectionKeys(); }
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
        if (command != "frames" || !(step >> n >> input.mouse.lX >> input.mouse.lY >> word)) return;
        input.mouse.rgbButtons[0] = word.find('l') != std::string::npos ? 0x80 : 0;  // buttons: l, r, lr or -
        input.mouse.rgbButtons[1] = word.find('r') != std::string::npos ? 0x80 : 0;
        std::memset(input.keys, 0, sizeof input.keys);
        while (step >> word) input.keys[SdlInput::keyCode(SDL_GetScancodeFromName(word.c_str()))] = 0x80;  // keys held
        while (n-- > 0) frame();
    }
    std::string state() const {
        const Viewer& v = viewer;
        char line[600];
        std::snprintf(line, sizeof line, "distance %g spin %g %g turn %g tilt %g pointer %g %g eye %g %g %g target %g %g %g "
                      "hovered %d selected %d paused %d help %d debug %d opened %d acquired %d label '%s'", v.distance, v.spin.x,
                      v.spin.y, v.rotation.x, v.rotation.y, v.pointer.x, v.pointer.y, v.eye.x, v.eye.y, v.eye.z, v.target.x,
                      v.target.y, v.target.z, v.hoveredNode, selected, space->paused, parts.icons.helpVisible, parts.icons.debugVisible, opened,
                      input.acquires, parts.icons.pageLabel);
        return line;
    }
};

TEST(Input, SessionsOfFramesLeaveTheGoldenTrace) {
    std::unique_ptr<Session> session;
    const std::string trace = traceOf(LW_FIXTURES "/input/session.txt", [&](const std::string& command, const std::string& rest) {
        if (command == "reset" || !session) session = std::make_unique<Session>();
        session->run(command, rest);
        return command == "frames" ? session->state() : "";
    });
    expectGolden(LW_FIXTURES "/input/session-trace.txt", trace);
}

}  // namespace
