#include "app/TerminalConfig.h"

#include <gtest/gtest.h>

using namespace orvant::app;
using orvant::platform::TIniFile;

TEST(TerminalConfig, KeysAndEnablement)
{
    EXPECT_EQ(TerminalKey(1), u"PDV1");
    EXPECT_EQ(TerminalKey(20), u"PDV20");
    EXPECT_EQ(ComputerKey(u"PDV3"), u"PDV3_COMPUTADOR");
    EXPECT_TRUE(IsTerminalEnabled(u"TRUE"));
    for (std::u16string_view no : {u"true", u"True", u"1", u"", u"TRUE ", u"SIM"})
        EXPECT_FALSE(IsTerminalEnabled(no));
}

TEST(TerminalConfig, ReadsTerminalsFromTheIniFile)
{
    const TIniFile ini = TIniFile::FromText(
        u"[PDV]\r\nPDV1=TRUE\r\nPDV1_COMPUTADOR=CAIXA01\r\nPDV2= \"TRUE\" \r\nPDV3='TRUE'\r\n"
        u"PDV4=true\r\nPDV4_COMPUTADOR=CAIXA04\r\nPDV5=1\r\npdv6=TRUE\r\n");
    const TTerminalEntry first = ReadTerminal(ini, 1);
    EXPECT_TRUE(first.Enabled);
    EXPECT_EQ(first.Key, u"PDV1");
    EXPECT_EQ(first.ComputerName, u"CAIXA01");
    EXPECT_TRUE(ReadTerminal(ini, 2).Enabled); // blanks and quotes dropped by the reader
    EXPECT_TRUE(ReadTerminal(ini, 3).Enabled);
    EXPECT_EQ(ReadTerminal(ini, 2).ComputerName, u""); // no _COMPUTADOR key
    EXPECT_FALSE(ReadTerminal(ini, 4).Enabled);
    EXPECT_FALSE(ReadTerminal(ini, 5).Enabled);
    EXPECT_TRUE(ReadTerminal(ini, 6).Enabled);   // key names ignore case
    EXPECT_FALSE(ReadTerminal(ini, 7).Enabled);
}

TEST(TerminalConfig, MonthTextsGiveTwoDigitNumbersOnlyWhenWrittenExactly)
{
    const char16_t* expected[] = {u"01", u"02", u"03", u"04", u"05", u"06", u"07", u"08", u"09", u"10", u"11", u"12"};
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(MonthNumber(kMonthNames[i]), expected[i]);
    EXPECT_EQ(MonthNumber(u"Mar\u00e7o"), u"03");
    for (std::u16string_view no : {u"Marco", u"março", u"MARÇO", u"", u"3", u" Março"})
        EXPECT_EQ(MonthNumber(no), u"");
}
