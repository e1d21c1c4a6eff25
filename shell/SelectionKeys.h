// The selection keys, applied once per frame after the scene is drawn. Tested in this
// order on the frame's key state, so a later key overrides an earlier one; a held key
// acts on every frame, not once per press.
#pragma once

#include <cstdint>

#include "input/Input.h"
#include "webspace/Webspace.h"

constexpr int32_t kLastSlot = kPageSlots - 1;

inline void applySelectionKeys(const Keyboard& keyboard, int32_t nodeCount, int32_t& selectedNode) {
    // J may rest on the first free slot, but never beyond the last slot of the table.
    if (keyboard.down(DIK_J) && selectedNode < nodeCount && selectedNode < kLastSlot) selectedNode += 1;
    if (keyboard.down(DIK_H) && selectedNode > 0) selectedNode -= 1;
    for (uint8_t code = DIK_1; code <= DIK_9; ++code)
        if (keyboard.down(code)) selectedNode = code - DIK_1 + 1;
    if (keyboard.down(DIK_0)) selectedNode = 0;
}
