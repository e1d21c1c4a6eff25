// The input backend over SDL2: the keyboard state table mapped to DirectInput key codes,
// relative mouse mode for movement and buttons. Losing the window's focus plays the part
// of lost input: reads report it until the window is in front again.
#pragma once

#include "input/Input.h"

struct SDL_Window;

class SdlInput : public InputBackend {
public:
    explicit SdlInput(SDL_Window* window);

    ResultCode createDevice(InputDeviceKind kind) override;
    ResultCode setCooperativeLevel(InputDeviceKind kind, InputWindow window, uint32_t flags) override;
    ResultCode acquire(InputDeviceKind kind) override;
    ResultCode getDeviceState(InputDeviceKind kind, uint32_t size, void* data) override;

    // The DirectInput code of an SDL scancode; 0 for keys DirectInput has no code for.
    static uint8_t keyCode(int scancode);

private:
    bool focused() const;

    SDL_Window* window_;
};
