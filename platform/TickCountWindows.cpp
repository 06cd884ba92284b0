#include "platform/TickCount.h"

#include <windows.h>

namespace orvant::platform {

std::uint32_t TickCount()
{
    // The system's own 32-bit millisecond count since start-up; it wraps as ours does.
    return static_cast<std::uint32_t>(::GetTickCount());
}

} // namespace orvant::platform
