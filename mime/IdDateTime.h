#pragma once
// Date and time values of the mail code: a 64-bit floating-point count of days
// since 30 December 1899, local time, the fraction being the time of day. Zero is
// therefore a real instant (1899-12-30 00:00) that the message record uses to mean
// "no date set". Before that day the time of day counts away from zero, so
// -1.25 is 29 December 1899, 06:00.
//
// Every conversion between this form and calendar fields is in this unit.

#include "platform/Clock.h"

#include <functional>

using TDateTime = double;

// A date and time as a calendar and a wall clock show it.
struct TIdDateTimeParts {
    int Year = 0;
    int Month = 0; // 1..12
    int Day = 0;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Calendar fields to a date-time; fields are not range-checked (callers pass
// fields of real dates).
TDateTime EncodeDateTime(const TIdDateTimeParts& fields);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
// The local time a platform clock reads.
TDateTime EncodeDateTime(const orvant::platform::TLocalDateTime& local);
// A date-time to calendar fields, rounded to the millisecond.
TIdDateTimeParts DecodeDateTime(TDateTime value);
// 0 = Sunday .. 6 = Saturday.
int DayOfWeekIndex(TDateTime value);

// The local date and time now.
TDateTime Now();

// A source of "now", so that code which stamps dates can be given a fixed clock.
using TIdClock = std::function<TDateTime()>;
