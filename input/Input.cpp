// The devices' creation and their per-frame reads, with the re-acquire of lost input.
#include "input/Input.h"

#include <cstring>

ResultCode InputSystem::create(InputBackend* platform) {
    backend = platform;
    return platform ? kOk : E_FAIL;
}

ResultCode InputDevice::createDevice(InputSystem& system, InputWindow window, InputDeviceKind kind,
                                     uint32_t cooperation) {
    if (!system.backend) return E_FAIL;
    const ResultCode made = system.backend->createDevice(kind);
    if (made != kOk) return made;
    device = system.backend;
    // The format is fixed by the kind; the cooperative level's result was never looked at.
    device->setCooperativeLevel(kind, window, cooperation);
    const ResultCode r = device->acquire(kind);
    if (r != kOk) return r;
    acquired = 1;
    return kOk;
}

ResultCode Keyboard::create(InputSystem& system, InputWindow window) {
    return createDevice(system, window, InputDeviceKind::Keyboard, kKeyboardCooperation);
}

void Keyboard::read() {
    if (!acquired) return;
    // Read into a scratch table, so a failed read cannot leave half a state behind.
    uint8_t state[kKeyCount];
    const ResultCode r = device->getDeviceState(InputDeviceKind::Keyboard, sizeof state, state);
    if (r == kOk) {
        std::memcpy(keys, state, sizeof keys);
    } else if (r == DIERR_INPUTLOST) {
        // Frames go on while another window has the keyboard: a key held as the focus
        // left must not go on zooming or walking the selection until it comes back.
        std::memset(keys, 0, sizeof keys);
        device->acquire(InputDeviceKind::Keyboard);
    }
}

ResultCode Mouse::create(InputSystem& system, InputWindow window) {
    return createDevice(system, window, InputDeviceKind::Mouse, kMouseCooperation);
}

void Mouse::read() {
    if (!acquired) return;
    // A failed read reports no movement and every button up, never stale motion.
    DIMOUSESTATE state{};
    const ResultCode r = device->getDeviceState(InputDeviceKind::Mouse, sizeof state, &state);
    if (r != kOk) {
        state = DIMOUSESTATE{};
        if (r == DIERR_INPUTLOST) device->acquire(InputDeviceKind::Mouse);
    }
    lX = state.lX;
    lY = state.lY;
    lZ = state.lZ;
    std::memcpy(rgbButtons, state.rgbButtons, sizeof rgbButtons);
}
