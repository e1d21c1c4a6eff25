// Linkweave's one clock: milliseconds from the system's monotonic clock, for the frame
// rate, the pacing of a failing fetch's retries and the HTTP client's time-outs.
#pragma once

#include <cstdint>

// Milliseconds since the system started, wrapping at 32 bits (differences stay right
// across the wrap). Counted from long before the first frame, so the first frame's delta
// passes a second and the frame rate reads 1, not 0, during the first second.
uint32_t monotonicMilliseconds();
