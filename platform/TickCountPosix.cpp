#include "platform/TickCount.h"

#include <ctime>

namespace orvant::platform {

std::uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto millis = static_cast<std::uint64_t>(now.tv_sec) * 1000u
                        + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(millis);
}

} // namespace orvant::platform
