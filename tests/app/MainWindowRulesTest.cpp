// Rules of the main window that need no window: default period, title, placement.
#include "app/AppTitle.h"
#include "app/DefaultPeriod.h"
#include "app/TerminalConfig.h"
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

using namespace orvant::app;
using orvant::platform::LocalDate;

TEST(DefaultPeriod, PreviousMonthOfTheCurrentYear)
{
    const TDefaultPeriod dec = DefaultPeriod(LocalDate(2026, 12, 8));
    EXPECT_EQ(dec.YearEntries, (std::vector<std::u16string> {u"2026", u"2025", u"2024", u"2023", u"2022"}));
    EXPECT_EQ(dec.YearIndex, 0);
    EXPECT_EQ(kMonthNames[dec.MonthIndex], u"Novembro");

    for (int day : {1, 15, 31}) {
        const TDefaultPeriod jan = DefaultPeriod(LocalDate(2027, 1, day));
        EXPECT_EQ(kMonthNames[jan.MonthIndex], u"Dezembro");
        EXPECT_EQ(jan.YearEntries[jan.YearIndex], u"2027"); // the current year, not the one before
    }
    EXPECT_EQ(kMonthNames[DefaultPeriod(LocalDate(2027, 2, 28)).MonthIndex], u"Janeiro");
}

TEST(DefaultPeriod, CalendarPreviousMonthForScheduledRuns)
{
    EXPECT_EQ(PreviousMonth(LocalDate(2027, 1, 1)).Year, 2026);
    EXPECT_EQ(PreviousMonth(LocalDate(2027, 1, 1)).Month, 12);
    EXPECT_EQ(PreviousMonth(LocalDate(2026, 12, 8)).Year, 2026);
    EXPECT_EQ(PreviousMonth(LocalDate(2026, 12, 8)).Month, 11);
}

TEST(ApplicationTitle, FileNameCutAtTheFirstDotWithTheRestInLowerCase)
{
    EXPECT_EQ(ApplicationTitle(u"C:\\Programas\\ABC.Tool.exe"), u"Abc");
    EXPECT_EQ(ApplicationTitle(u"/usr/local/bin/Orvant"), u"Orvant");
    EXPECT_EQ(ApplicationTitle(u"oRVANT.EXE"), u"orvant");
    EXPECT_EQ(ApplicationTitle(u"/opt/ÉLAN.exe"), u"Élan");
    EXPECT_EQ(ApplicationTitle(u"/opt/.hidden"), u"");
}

TEST(WindowPlacement, CentresByTheFrameRoundingHalvesToEven)
{
    const TPoint p = CentredOrigin(1920, 1080, 257, 299);
    EXPECT_EQ(p.X, 832); // 831.5
    EXPECT_EQ(p.Y, 390); // 390.5
    EXPECT_EQ(CentredOrigin(1920, 1080, 241, 260).X, 840); // 839.5
    EXPECT_EQ(CentredOrigin(1921, 1080, 258, 260).X, 832); // 831.5
    EXPECT_EQ(CentredOrigin(1024, 768, 257, 299).X, 384);  // 383.5
    EXPECT_EQ(CentredOrigin(1366, 768, 257, 299).Y, 234);  // 234.5
    EXPECT_EQ(CentredOrigin(200, 100, 257, 299).X, -28);   // -28.5: larger than the screen
    EXPECT_EQ(CentredOrigin(200, 100, 257, 299).Y, -100);  // -99.5
}
