#pragma once
// The distance of local time from UTC at a given local time, standing in for the
// Windows time-zone call. The zone is the C library's (TZ, else /etc/localtime).

#include <cstdint>
#include <optional>

namespace orvant::platform {

// Local time minus UTC, in minutes, in force at the given local wall-clock time
// (daylight saving included). A time inside a daylight-saving gap is taken as the
// C library normalises it. Empty when the C library cannot place the time. A
// system without zone rules answers 0 (the C library then keeps UTC).
std::optional<int> UtcOffsetMinutesAt(int year, int month, int day, int hour, int minute, int second);

} // namespace orvant::platform
