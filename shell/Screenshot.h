// Window pictures: F12 saves what the window shows as linkweave-001.png, -002, ... in the
// working folder, and a note on screen says which file it became, or why it did not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kScreenshotNoteMs = 3000;  // ms the note stays on screen

// Writes argb (0xAARRGGBB, rows from the top) as an opaque PNG under the first name
// linkweave-NNN.png not yet taken in the working folder. Puts "Saved linkweave-001.png
// in ~/folder", or why nothing was saved, into note (capacity bytes), short enough for
// a window `width` pixels wide; true when saved.
bool saveScreenshot(const std::vector<uint32_t>& argb, uint32_t width, uint32_t height, char* note,
                    size_t capacity);
