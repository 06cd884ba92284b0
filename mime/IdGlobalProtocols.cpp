#include "mime/IdGlobalProtocols.h"

#include "platform/TimeZone.h"
#include "smtp/IdExceptionCore.h"

#include <cstdlib>

int LocalUtcOffset(TDateTime localDateTime)
{
    const TIdDateTimeParts t = DecodeDateTime(localDateTime);
    const std::optional<int> offset = orvant::platform::UtcOffsetMinutesAt(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
    if (!offset)
        EIdException::Toss<EIdFailedToRetreiveTimeZoneInfo>(u"Failed attempting to retrieve time zone information.");
    return *offset;
}

String FormatUtcOffset(int offsetMinutes, bool allowGMT)
{
    if (offsetMinutes == 0 && allowGMT)
        return u"GMT";
    const int magnitude = std::abs(offsetMinutes);
    return Format(u"%s%02d%02d", {String(offsetMinutes < 0 ? u"-" : u"+"), std::int64_t(magnitude / 60),
                                  std::int64_t(magnitude % 60)});
}

String FormatMessageDate(TDateTime localDateTime, bool allowGMT)
{
    static constexpr const char16_t* kDays[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    static constexpr const char16_t* kMonths[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                  u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    const TIdDateTimeParts t = DecodeDateTime(localDateTime);
    const String time = Format(u"%02d:%02d:%02d", {std::int64_t(t.Hour), std::int64_t(t.Minute), std::int64_t(t.Second)});
    return Format(u"%s, %d %s %d %s %s",
                  {String(kDays[DayOfWeekIndex(localDateTime)]), std::int64_t(t.Day), String(kMonths[t.Month - 1]),
                   std::int64_t(t.Year), time, FormatUtcOffset(LocalUtcOffset(localDateTime), allowGMT)});
}
