#include "mime/IdGlobalProtocols.h"

#include "support/ScopedTimeZone.h"

#include <gtest/gtest.h>

namespace {

TEST(IdDateTime, DaysSinceTheEndOf1899)
{
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDateTime(2026, 3, 10), 46091.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 3, 10, 18), 46091.75);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25) << "before day 0 the time counts away from zero";

    const auto t = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ((std::array{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond}),
              (std::array{2024, 2, 29, 23, 59, 59, 999}));
    const auto early = DecodeDateTime(-1.25);
    EXPECT_EQ((std::array{early.Year, early.Month, early.Day, early.Hour}), (std::array{1899, 12, 29, 6}));
    // A value a hair before midnight rounds into the next day, not to 24:00.
    const auto midnight = DecodeDateTime(46091.0 - 1e-10);
    EXPECT_EQ((std::array{midnight.Day, midnight.Hour, midnight.Minute}), (std::array{10, 0, 0}));

    EXPECT_EQ(DayOfWeekIndex(EncodeDateTime(2026, 3, 10)), 2); // a Tuesday
    EXPECT_EQ(DayOfWeekIndex(EncodeDateTime(2026, 3, 8)), 0);
}

TEST(IdGlobalProtocols, UtcOffsetText)
{
    EXPECT_EQ(FormatUtcOffset(-180, false), u"-0300");
    EXPECT_EQ(FormatUtcOffset(330, false), u"+0530");
    EXPECT_EQ(FormatUtcOffset(0, false), u"+0000");
    EXPECT_EQ(FormatUtcOffset(0, true), u"GMT");
    EXPECT_EQ(FormatUtcOffset(-30, true), u"-0030");
    EXPECT_EQ(FormatUtcOffset(765, false), u"+1245");
}

TEST(IdGlobalProtocols, OffsetOfTheZoneInForceAtTheDate)
{
    ORVANT_SKIP_UNLESS_TZ_APPLIES();
    const TDateTime march = EncodeDateTime(2026, 3, 10, 9, 15, 42);
    {
        ScopedTimeZone zone("Asia/Kolkata");
        EXPECT_EQ(LocalUtcOffset(march), 330);
        EXPECT_EQ(FormatMessageDate(march, false), u"Tue, 10 Mar 2026 09:15:42 +0530");
    }
    {
        ScopedTimeZone zone("UTC");
        EXPECT_EQ(FormatMessageDate(march, false), u"Tue, 10 Mar 2026 09:15:42 +0000");
        EXPECT_EQ(FormatMessageDate(march, true), u"Tue, 10 Mar 2026 09:15:42 GMT");
    }
    {
        ScopedTimeZone zone("America/Sao_Paulo");
        EXPECT_EQ(FormatMessageDate(march, false), u"Tue, 10 Mar 2026 09:15:42 -0300");
        // Brazil kept daylight saving time until 2019: the date's own rule counts.
        EXPECT_EQ(FormatMessageDate(EncodeDateTime(2018, 12, 1, 12), false), u"Sat, 1 Dec 2018 12:00:00 -0200");
    }
    {
        ScopedTimeZone zone("Europe/Berlin");
        EXPECT_EQ(LocalUtcOffset(EncodeDateTime(2026, 1, 15, 12)), 60);
        EXPECT_EQ(FormatMessageDate(EncodeDateTime(2026, 7, 4, 7, 5, 3), false), u"Sat, 4 Jul 2026 07:05:03 +0200");
    }
    {
        // A zone the system has no rules for is taken as UTC.
        ScopedTimeZone zone("Nowhere/Unknown");
        EXPECT_EQ(LocalUtcOffset(march), 0);
    }
}

TEST(IdGlobalProtocols, NamesAreEnglishWhateverTheLanguage)
{
    ORVANT_SKIP_UNLESS_TZ_APPLIES();
    ScopedTimeZone zone("UTC");
    EXPECT_EQ(FormatMessageDate(EncodeDateTime(2026, 2, 1), false), u"Sun, 1 Feb 2026 00:00:00 +0000");
    EXPECT_EQ(FormatMessageDate(EncodeDateTime(2026, 5, 30, 23, 59, 59), false), u"Sat, 30 May 2026 23:59:59 +0000");
    EXPECT_EQ(FormatMessageDate(EncodeDateTime(2026, 12, 31, 1, 2, 3), false), u"Thu, 31 Dec 2026 01:02:03 +0000");
}

} // namespace
