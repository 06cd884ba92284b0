#pragma once
// The user's locale: which language the user works in.
//
// On Linux the locale name comes from the environment as the C library reads it
// for character handling: LC_ALL, then LC_CTYPE, then LANG, the first that is set
// and not empty. On Windows it is the user's regional setting ("pt-BR").

#include <string>
#include <string_view>

namespace orvant::platform {

struct LocaleLanguage {
    std::string Language;  // ISO 639 code in lower case ("pt"); empty for "C"/"POSIX"
    std::string Territory; // ISO 3166 code in upper case ("BR"); empty when absent
};

// "" when none of the variables is set (or Windows cannot tell).
std::string UserLocaleName();

// "pt_BR.UTF-8@euro" gives {"pt", "BR"}; "C", "POSIX" and "" give no language.
LocaleLanguage LanguageOfLocale(std::string_view localeName);

LocaleLanguage UserLocaleLanguage();

} // namespace orvant::platform
