// Result codes of platform operations. Linkweave's platform layers answer with the
// 32-bit codes its trace has always shown, so debug.txt reads the same on every
// platform: 0 for success, otherwise the matching DirectDraw code or E_FAIL.
#pragma once

#include <cstdint>

using ResultCode = uint32_t;

constexpr ResultCode kOk = 0;
constexpr ResultCode DDERR_SURFACELOST = 0x887601C2u;
constexpr ResultCode DDERR_INVALIDPARAMS = 0x80070057u;
constexpr ResultCode DDERR_NOTFOUND = 0x887600FFu;
constexpr ResultCode DDERR_INVALIDOBJECT = 0x88760082u;
constexpr ResultCode E_FAIL = 0x80004005u;
