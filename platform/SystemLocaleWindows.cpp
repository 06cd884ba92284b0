#include "platform/SystemLocale.h"

#include "platform/Utf.h"

#include <windows.h>

namespace orvant::platform {

// The user's locale as Windows names it ("pt-BR"), from the regional settings.
std::string UserLocaleName()
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0)
        return {};
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(name));
}

} // namespace orvant::platform
