#include "platform/CodePages.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace orvant::platform;

TEST(CodePages, EveryKnownCodePageOpensInBothDirections)
{
    int known = 0;
    for (std::uint32_t number = 1; number <= 65535; ++number) {
#ifdef _WIN32 // the system converts by number: the pages are those it has
        if (!FindCodePage(number))
            continue;
#else
        if (CodePageCharset(number) == nullptr)
            continue;
#endif
        ++known;
        const auto codePage = FindCodePage(number);
        ASSERT_TRUE(codePage.has_value()) << number;
        EXPECT_EQ(codePage->Number, number);
        const std::vector<std::uint8_t> bytes = Utf16ToCodePage(*codePage, u"ORVANT?");
        EXPECT_EQ(CodePageToUtf16(*codePage, bytes.data(), bytes.size()), u"ORVANT?") << number;
    }
#ifdef _WIN32
    EXPECT_GT(known, 50); // Wine has 74 pages, Windows some 140
#else
    EXPECT_GT(known, 90);
#endif
    EXPECT_FALSE(FindCodePage(12345).has_value());
}

TEST(CodePages, EbcdicWritesItsOwnQuestionMark)
{
    const auto ebcdic = FindCodePage(37);
    ASSERT_TRUE(ebcdic.has_value());
    // "A" is C1 and "?" is 6F in EBCDIC; "€" is not in code page 37.
    EXPECT_EQ(Utf16ToCodePage(*ebcdic, u"A€"), (std::vector<std::uint8_t>{0xC1, 0x6F}));
}

TEST(CodePages, SystemDefaultFollowsTheLocaleAndTakesTheCLocaleAsUtf8)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows' default code page is the system's ANSI code page, not the locale's";
#endif
    const char* saved = std::getenv("LC_ALL");
    const std::string previous = saved ? saved : "";

    SetTestEnv("LC_ALL", "C");
    auto codePage = FindCodePage(0);
    ASSERT_TRUE(codePage.has_value());
    EXPECT_EQ(codePage->Number, 0u);
    EXPECT_EQ(codePage->Charset, "UTF-8");
    EXPECT_EQ(Utf16ToCodePage(*codePage, u"ç"), (std::vector<std::uint8_t>{0xC3, 0xA7}));

    SetTestEnv("LC_ALL", "C.UTF-8");
    codePage = FindCodePage(0);
    ASSERT_TRUE(codePage.has_value());
    EXPECT_EQ(codePage->Charset, "UTF-8");
    EXPECT_GE(codePage->MaxCharSize, 4);

    if (saved)
        SetTestEnv("LC_ALL", previous.c_str());
    else
        UnsetTestEnv("LC_ALL");
}
