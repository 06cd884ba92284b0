#pragma once
// The millisecond tick counter that read time-outs are measured with: a 32-bit
// count of milliseconds from an arbitrary start, which wraps after about 49.7 days,
// over the monotonic clock (never jumps when the wall clock is set): CLOCK_MONOTONIC
// on Linux, GetTickCount on Windows.

#include <cstdint>

namespace orvant::platform {

std::uint32_t TickCount();

// Milliseconds from start to now. Unsigned subtraction gives the right answer when
// the counter wrapped once in between.
inline std::uint32_t TickDiff(std::uint32_t start, std::uint32_t now)
{
    return now - start;
}

} // namespace orvant::platform
