// The keyboard and mouse read rules over a scripted backend (failures on demand), the
// key code table of the SDL backend, and the selection keys of the main loop.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>

#include "input/Input.h"
#include "input/SdlInput.h"
#include "shell/SelectionKeys.h"

namespace {

struct ScriptedInput : InputBackend {
    ResultCode createResult = kOk, acquireResult = kOk, readResult = kOk;
    int acquires = 0;
    uint8_t keys[kKeyCount] = {};
    DIMOUSESTATE mouse{};

    ResultCode createDevice(InputDeviceKind) override { return createResult; }
    ResultCode setCooperativeLevel(InputDeviceKind, InputWindow, uint32_t) override { return kOk; }
    ResultCode acquire(InputDeviceKind) override {
        ++acquires;
        return acquireResult;
    }
    ResultCode getDeviceState(InputDeviceKind kind, uint32_t size, void* data) override {
        if (readResult != kOk) {
            std::memset(data, 0x55, size);  // garbage a failed read may leave behind
            return readResult;
        }
        if (kind == InputDeviceKind::Keyboard) std::memcpy(data, keys, size);
        else std::memcpy(data, &mouse, size);
        return kOk;
    }
};

TEST(Input, DevicesThatCannotBeCreatedOrAcquiredAreNeverRead) {
    struct Case { ResultCode create, acquire; ResultCode expected; };
    for (const Case& c : {Case{E_FAIL, kOk, E_FAIL}, Case{kOk, DIERR_OTHERAPPHASPRIO, DIERR_OTHERAPPHASPRIO}}) {
        ScriptedInput backend;
        backend.createResult = c.create;
        backend.acquireResult = c.acquire;
        backend.keys[DIK_J] = 0x80;
        backend.mouse.lX = 5;
        InputSystem system;
        system.create(&backend);
        Keyboard keyboard;
        Mouse mouse;
        EXPECT_EQ(keyboard.create(system, nullptr), c.expected);
        EXPECT_EQ(mouse.create(system, nullptr), c.expected);
        keyboard.read();
        mouse.read();
        EXPECT_FALSE(keyboard.down(DIK_J));
        EXPECT_EQ(mouse.lX, 0);
        EXPECT_EQ(keyboard.acquired, 0);
    }
    // No input service at all: both devices stay silent.
    InputSystem none;
    EXPECT_EQ(none.create(nullptr), E_FAIL);
    Keyboard keyboard;
    EXPECT_EQ(keyboard.create(none, nullptr), E_FAIL);
    keyboard.read();
    EXPECT_FALSE(keyboard.down(DIK_J));
}

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
    keyboard.read();  // the main loop and the viewer both read: same state
    mouse.read();
    EXPECT_TRUE(keyboard.down(DIK_H));
    EXPECT_EQ(mouse.lX, 7);
    EXPECT_EQ(mouse.lY, -3);
    EXPECT_NE(mouse.rgbButtons[0], 0);

    const int before = backend.acquires;
    backend.readResult = DIERR_INPUTLOST;
    keyboard.read();
    mouse.read();
    EXPECT_TRUE(keyboard.down(DIK_H));  // as before the failed read
    EXPECT_FALSE(keyboard.down(DIK_J));
    EXPECT_EQ(mouse.lX, 0);             // no stale movement, buttons up
    EXPECT_EQ(mouse.rgbButtons[0], 0);
    EXPECT_EQ(backend.acquires, before + 2);
    // Other failures are ignored without a new acquisition; the device stays acquired.
    backend.readResult = E_FAIL;
    keyboard.read();
    EXPECT_EQ(backend.acquires, before + 2);
    backend.readResult = kOk;
    backend.keys[DIK_H] = 0;
    keyboard.read();
    EXPECT_FALSE(keyboard.down(DIK_H));
}

TEST(Input, SdlScancodesMapToDirectInputCodes) {
    struct Case { int scancode; uint8_t dik; };
    const Case cases[] = {
        {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_1, DIK_1}, {SDL_SCANCODE_9, DIK_9},
        {SDL_SCANCODE_0, DIK_0}, {SDL_SCANCODE_H, DIK_H}, {SDL_SCANCODE_J, DIK_J},
        {SDL_SCANCODE_UP, DIK_UP}, {SDL_SCANCODE_DOWN, DIK_DOWN}, {SDL_SCANCODE_A, 0x1E},
        {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D}, {SDL_SCANCODE_DELETE, 0xD3},
        {SDL_SCANCODE_UNKNOWN, 0}, {-1, 0}, {SDL_NUM_SCANCODES, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(SdlInput::keyCode(c.scancode), c.dik) << c.scancode;
    // No two keys share a code.
    int seen[256] = {};
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc)
        if (const uint8_t d = SdlInput::keyCode(sc)) {
            EXPECT_EQ(seen[d]++, 0) << "code " << int(d);
        }
}

TEST(SelectionKeys, LaterKeysWinAndJStopsAtTheFirstFreeSlot) {
    struct Case { std::vector<uint8_t> held; int32_t nodeCount, before, after; };
    const Case cases[] = {
        {{DIK_J}, 3, 1, 2}, {{DIK_J}, 3, 3, 3},           // rests on the first free slot
        {{DIK_J}, 300, 299, 299},                          // never past the last slot
        {{DIK_H}, 3, 2, 1}, {{DIK_H}, 3, 0, 0},
        {{DIK_9}, 3, 0, 9},                                // a slot not in use
        {{0x04, 0x06}, 10, 0, 5},                          // 3 and 5: the later test wins
        {{DIK_J, DIK_0}, 10, 4, 0}, {{DIK_J, DIK_H}, 10, 4, 4}, {{}, 10, 4, 4},
    };
    for (const Case& c : cases) {
        Keyboard keyboard;
        for (uint8_t k : c.held) keyboard.keys[k] = 0x80;
        int32_t selected = c.before;
        applySelectionKeys(keyboard, c.nodeCount, selected);
        EXPECT_EQ(selected, c.after) << "from " << c.before;
    }
    // Held, J walks one slot per frame.
    Keyboard keyboard;
    keyboard.keys[DIK_J] = 0x80;
    int32_t selected = 0;
    for (int frame = 0; frame < 10; ++frame) applySelectionKeys(keyboard, 4, selected);
    EXPECT_EQ(selected, 4);
}

}  // namespace
