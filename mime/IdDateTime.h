#pragma once
// Date and time values of the mail code: a 64-bit floating-point count of days
// since 30 December 1899, local time, the fraction being the time of day. Zero is
// therefore a real instant (1899-12-30 00:00) that the message record uses to mean
// "no date set". Before that day the time of day counts away from zero, so
// -1.25 is 29 December 1899, 06:00.
//
// Every conversion between this form and calendar fields is in this unit.

#include "platform/TimeZone.h"

#include <functional>

using TDateTime = double;

// Calendar fields to a date-time; fields are not range-checked (callers pass
// fields of real dates).
TDateTime EncodeDateTime(const orvant::platform::CivilTime& fields);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
// A date-time to calendar fields, rounded to the millisecond.
orvant::platform::CivilTime DecodeDateTime(TDateTime value);
// 0 = Sunday .. 6 = Saturday.
int DayOfWeekIndex(TDateTime value);

// The local date and time now.
TDateTime Now();

// A source of "now", so that code which stamps dates can be given a fixed clock.
using TIdClock = std::function<TDateTime()>;
