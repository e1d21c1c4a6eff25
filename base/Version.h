// The version of Linkweave and its tools, as the build defines it once for all of them.
#pragma once

constexpr const char* kVersion = LW_VERSION;
