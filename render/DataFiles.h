// Where Linkweave's two data files (data1, the node texture; data2, the sprite sheet)
// are found, and the look at their headers that lets the program refuse a bad one
// before any window opens.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kLargestDataSide = 4096;  // pixels: no data file is wider or higher

enum class BitmapCheck { Fits, Unreadable, NotABitmap, TooLarge };

// Reads a Windows bitmap's header: whether the file can be read, is a bitmap, and has
// sides of at most kLargestDataSide. width and height get the sides it claims.
BitmapCheck checkBitmapHeader(const char* path, uint32_t& width, uint32_t& height);

// The data folder: `data` beside the running program (the build tree), else the
// installed share/linkweave, looked for beside the program's bin folder and then where
// the build was configured to install; the first of these that exists. Both files in
// it are checked. False once it has said on standard error, in one line, why not.
bool findDataFolder(std::string& folder);
