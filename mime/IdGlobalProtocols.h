#pragma once
// Dates as mail headers write them (RFC 5322 section 3.3).

#include "mime/IdDateTime.h"
#include "mime/IdGlobal.h"

// Local time minus UTC in minutes, in force at the given local date-time. Raises
// EIdFailedToRetreiveTimeZoneInfo when the system cannot tell.
int LocalUtcOffset(TDateTime localDateTime);

// "+hhmm" or "-hhmm" ("-" only when local time is behind UTC, so UTC is "+0000");
// "GMT" for a zero offset when allowGMT is set.
String FormatUtcOffset(int offsetMinutes, bool allowGMT);

// "Tue, 10 Mar 2026 09:15:42 -0300": English names whatever the user's language, the
// local date-time as given (not converted) and the zone in force at that moment.
String FormatMessageDate(TDateTime localDateTime, bool allowGMT);
