#include "platform/SystemLocale.h"

#include <cctype>
#include <cstdlib>

namespace orvant::platform {

std::string UserLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

LocaleLanguage LanguageOfLocale(std::string_view localeName)
{
    // language[_territory][.codeset][@modifier]
    const std::string_view base = localeName.substr(0, localeName.find_first_of(".@"));
    const std::size_t underscore = base.find('_');
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
