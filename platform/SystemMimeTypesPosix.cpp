#include "platform/SystemMimeTypes.h"

namespace orvant::platform {

std::vector<MimeTypeRegistration> RegisteredMimeTypes()
{
    return {}; // Linux keeps them all in mime.types
}

std::string DefaultMimeTypesFile()
{
    return "/etc/mime.types";
}

} // namespace orvant::platform
