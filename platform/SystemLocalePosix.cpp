#include "platform/SystemLocale.h"

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

} // namespace orvant::platform
