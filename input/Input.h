// Keyboard and mouse, polled once per frame. The program sees what it has always seen:
// a table of 256 key states indexed by DirectInput key code and a mouse that reports
// movement since the last read plus four button bytes. Where that comes from is the
// InputBackend's business (SDL2 in the program, a scripted double in tests), so the
// read and re-acquire rules below stay the same on every platform.
#pragma once

#include <cstdint>

#include "base/ResultCodes.h"

using InputWindow = void*;  // the platform's window, opaque here

// The platform's answer when a device has stopped delivering input (focus lost).
constexpr ResultCode DIERR_INPUTLOST = 0x8007001Eu;
// Acquire refused while another window holds the foreground.
constexpr ResultCode DIERR_OTHERAPPHASPRIO = 0x80070005u;

constexpr uint32_t kDirectInputVersion = 0x0700;
constexpr uint32_t DISCL_EXCLUSIVE = 0x1, DISCL_NONEXCLUSIVE = 0x2, DISCL_FOREGROUND = 0x4;
constexpr uint32_t kKeyboardCooperation = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;  // 6
constexpr uint32_t kMouseCooperation = DISCL_EXCLUSIVE | DISCL_FOREGROUND;        // 5

// DirectInput key codes the program tests (the backend maps the whole keyboard).
constexpr uint8_t DIK_ESCAPE = 0x01, DIK_1 = 0x02, DIK_9 = 0x0A, DIK_0 = 0x0B;
constexpr uint8_t DIK_H = 0x23, DIK_J = 0x24, DIK_UP = 0xC8, DIK_DOWN = 0xD0;
constexpr uint8_t DIK_MINUS = 0x0C, DIK_EQUALS = 0x0D;        // the main keyboard's - and =/+
constexpr uint8_t DIK_SUBTRACT = 0x4A, DIK_ADD = 0x4E;        // the keypad's - and +

constexpr int kKeyCount = 256;

enum class InputDeviceKind { Keyboard, Mouse };

// The mouse state as one read delivers it: 16 bytes.
struct DIMOUSESTATE {
    int32_t lX, lY, lZ;
    uint8_t rgbButtons[4];
};
static_assert(sizeof(DIMOUSESTATE) == 16);

// The platform side: what DirectInput did for us. Each call answers with a result code.
class InputBackend {
public:
    virtual ~InputBackend() = default;
    virtual ResultCode createDevice(InputDeviceKind kind) = 0;
    virtual ResultCode setCooperativeLevel(InputDeviceKind kind, InputWindow window, uint32_t flags) = 0;
    virtual ResultCode acquire(InputDeviceKind kind) = 0;
    // Fills size bytes: 256 key bytes for the keyboard, a DIMOUSESTATE for the mouse.
    virtual ResultCode getDeviceState(InputDeviceKind kind, uint32_t size, void* data) = 0;
};

class InputSystem {
public:
    InputBackend* backend = nullptr;  // none until create

    // Takes the platform's input service; 0, or E_FAIL when there is none.
    ResultCode create(InputBackend* platform);
};

class InputDevice {
public:
    InputBackend* device = nullptr;  // none until created
    int32_t acquired = 0;            // set once, at creation; never cleared

protected:
    ResultCode createDevice(InputSystem& system, InputWindow window, InputDeviceKind kind, uint32_t cooperation);
};

class Keyboard : public InputDevice {
public:
    uint8_t keys[kKeyCount] = {};  // 0x80 while held

    ResultCode create(InputSystem& system, InputWindow window);
    // Refreshes keys. Lost input reads as no key held; any other failed read leaves
    // them as they were.
    void read();
    bool down(uint8_t code) const { return keys[code] != 0; }
};

class Mouse : public InputDevice {
public:
    int32_t lX = 0, lY = 0, lZ = 0;  // movement since the previous read: right, down, wheel
    uint8_t rgbButtons[4] = {};      // 0 left, 1 right; non-zero while down

    ResultCode create(InputSystem& system, InputWindow window);
    void read();
};
