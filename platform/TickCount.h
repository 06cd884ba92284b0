#pragma once
// The millisecond tick counter that read time-outs are measured with: a 32-bit
// count of milliseconds from an arbitrary start, which wraps after about 49.7 days,
// over the monotonic clock (never jumps when the wall clock is set).
//
// Header-only so that the library can use it without linking the platform library.

#include <cstdint>
#include <ctime>

namespace orvant::platform {

inline std::uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto millis = static_cast<std::uint64_t>(now.tv_sec) * 1000u
                        + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(millis);
}

// Milliseconds from start to now. Unsigned subtraction gives the right answer when
// the counter wrapped once in between.
inline std::uint32_t TickDiff(std::uint32_t start, std::uint32_t now)
{
    return now - start;
}

} // namespace orvant::platform
