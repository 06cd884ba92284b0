#include "platform/SystemLocale.h"

#include <cctype>

namespace orvant::platform {

LocaleLanguage LanguageOfLocale(std::string_view localeName)
{
    // language[_territory][.codeset][@modifier], or Windows' language-territory
    const std::string_view base = localeName.substr(0, localeName.find_first_of(".@"));
    const std::size_t underscore = base.find_first_of("_-");
    LocaleLanguage result;
    for (const char c : base.substr(0, underscore))
        result.Language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (underscore != std::string_view::npos)
        for (const char c : base.substr(underscore + 1))
            result.Territory += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (result.Language == "c" || result.Language == "posix")
        return {};
    return result;
}

LocaleLanguage UserLocaleLanguage()
{
    return LanguageOfLocale(UserLocaleName());
}

} // namespace orvant::platform
