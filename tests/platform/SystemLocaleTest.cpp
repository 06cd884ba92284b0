#include "platform/SystemLocale.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using orvant::platform::LanguageOfLocale;
using orvant::platform::UserLocaleName;

TEST(SystemLocale, LanguageAndTerritoryOfALocaleName)
{
    auto parts = [](std::string_view name) {
        const auto locale = LanguageOfLocale(name);
        return locale.Language + "|" + locale.Territory;
    };
    EXPECT_EQ(parts("pt_BR.UTF-8"), "pt|BR");
    EXPECT_EQ(parts("PT_br"), "pt|BR");
    EXPECT_EQ(parts("de_DE@euro"), "de|DE");
    EXPECT_EQ(parts("sr_RS.UTF-8@latin"), "sr|RS");
    EXPECT_EQ(parts("ja"), "ja|");
    EXPECT_EQ(parts("pt-BR"), "pt|BR"); // as Windows names it
    EXPECT_EQ(parts("C.UTF-8"), "|");
    EXPECT_EQ(parts("POSIX"), "|");
    EXPECT_EQ(parts(""), "|");
}

TEST(SystemLocale, LcAllThenLcCtypeThenLang)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes the user's locale from its regional settings, not from LC_ALL or LANG";
#endif
    auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::pair<const char*, std::optional<std::string>> previous[] = {
        {"LC_ALL", saved("LC_ALL")}, {"LC_CTYPE", saved("LC_CTYPE")}, {"LANG", saved("LANG")}};

    SetTestEnv("LC_ALL", "");
    SetTestEnv("LC_CTYPE", "ru_RU.UTF-8");
    SetTestEnv("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(UserLocaleName(), "ru_RU.UTF-8");
    SetTestEnv("LC_ALL", "pt_BR.UTF-8");
    EXPECT_EQ(UserLocaleName(), "pt_BR.UTF-8");
    UnsetTestEnv("LC_ALL");
    UnsetTestEnv("LC_CTYPE");
    EXPECT_EQ(UserLocaleName(), "ja_JP.UTF-8");
    EXPECT_EQ(orvant::platform::UserLocaleLanguage().Language, "ja");
    UnsetTestEnv("LANG");
    EXPECT_EQ(UserLocaleName(), "");

    for (const auto& [name, value] : previous) {
        if (value)
            SetTestEnv(name, value->c_str());
        else
            UnsetTestEnv(name);
    }
}
