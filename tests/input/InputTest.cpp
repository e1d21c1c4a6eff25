// The keyboard and mouse read rules over a scripted backend (a lost device on demand),
// the key code table of the SDL backend, and the selection keys of the main loop.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>

#include "input/Input.h"
#include "input/SdlInput.h"
#include "shell/SelectionKeys.h"

namespace {

struct ScriptedInput : InputBackend {
    ResultCode readResult = kOk;
    int acquires = 0;
    uint8_t keys[kKeyCount] = {};
    DIMOUSESTATE mouse{};

    ResultCode createDevice(InputDeviceKind) override { return kOk; }
    ResultCode setCooperativeLevel(InputDeviceKind, InputWindow, uint32_t) override { return kOk; }
    ResultCode acquire(InputDeviceKind) override { ++acquires; return kOk; }
    ResultCode getDeviceState(InputDeviceKind kind, uint32_t size, void* data) override {
        // A failed read may leave garbage behind.
        std::memset(data, 0x55, size);
        const void* source = kind == InputDeviceKind::Keyboard ? static_cast<const void*>(keys) : &mouse;
        if (readResult == kOk) std::memcpy(data, source, size);
        return readResult;
    }
};

TEST(Input, LostInputKeepsKeysStopsTheMouseAndReacquires) {
    ScriptedInput backend;
    InputSystem system;
    system.create(&backend);
    Keyboard keyboard;
    Mouse mouse;
    ASSERT_EQ(keyboard.create(system, nullptr), kOk);
    ASSERT_EQ(mouse.create(system, nullptr), kOk);
    backend.keys[DIK_H] = 0x80;
    backend.mouse = {7, -3, 0, {0x80, 0, 0, 0}};
    keyboard.read();
    mouse.read();
    EXPECT_EQ(mouse.lX, 7);

    const int before = backend.acquires;
    backend.readResult = DIERR_INPUTLOST;
    keyboard.read();
    mouse.read();
    EXPECT_TRUE(keyboard.down(DIK_H));  // as before the failed read
    EXPECT_FALSE(keyboard.down(DIK_J));
    EXPECT_EQ(mouse.lX | mouse.lY | mouse.rgbButtons[0], 0);  // no stale movement, buttons up
    EXPECT_EQ(backend.acquires, before + 2);  // each device asks for itself back
}

TEST(Input, SdlScancodesMapToDirectInputCodes) {
    struct Case { int scancode; uint8_t dik; };
    for (const Case& c : {Case{SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_1, DIK_1}, {SDL_SCANCODE_9, DIK_9},
                          {SDL_SCANCODE_0, DIK_0}, {SDL_SCANCODE_H, DIK_H}, {SDL_SCANCODE_J, DIK_J}, {SDL_SCANCODE_UP, DIK_UP},
                          {SDL_SCANCODE_DOWN, DIK_DOWN}, {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_KP_ENTER, 0x9C},
                          {SDL_SCANCODE_RCTRL, 0x9D}, {SDL_SCANCODE_DELETE, 0xD3}, {SDL_SCANCODE_UNKNOWN, 0}, {-1, 0},
                          {SDL_NUM_SCANCODES, 0}}) {
        EXPECT_EQ(SdlInput::keyCode(c.scancode), c.dik) << c.scancode;
    }
    int seen[256] = {};  // no two keys share a code
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
        if (const uint8_t d = SdlInput::keyCode(sc)) { EXPECT_EQ(seen[d]++, 0) << "code " << int(d); }
    }
}

TEST(SelectionKeys, LaterKeysWinJStopsAtTheLastSlotAndHAtZero) {
    struct Case { std::vector<uint8_t> held; int32_t nodeCount, before, after; };
    const Case cases[] = {
        // J rests on the first free slot and never goes past the last one; H stops at 0.
        {{DIK_J}, 3, 1, 2}, {{DIK_J}, 3, 3, 3}, {{DIK_J}, 300, 299, 299}, {{DIK_H}, 3, 2, 1}, {{DIK_H}, 3, 0, 0},
        // A digit may name a slot not in use; of several keys the later test wins (3, 5).
        {{DIK_9}, 3, 0, 9}, {{0x04, 0x06}, 10, 0, 5}, {{DIK_J, DIK_0}, 10, 4, 0}, {{DIK_J, DIK_H}, 10, 4, 4},
        {{}, 10, 4, 4},
    };
    for (const Case& c : cases) {
        Keyboard keyboard;
        for (uint8_t k : c.held) keyboard.keys[k] = 0x80;
        int32_t selected = c.before;
        applySelectionKeys(keyboard, c.nodeCount, selected);
        EXPECT_EQ(selected, c.after) << "from " << c.before;
    }
}

}  // namespace
