#include "platform/HostName.h"

#include <unistd.h>

#include <array>

namespace orvant::platform {

std::string HostName()
{
    std::array<char, 256> buffer{};
    // The last byte stays zero: gethostname need not terminate a name it had to cut.
    if (::gethostname(buffer.data(), buffer.size() - 1) != 0)
        return {};
    return std::string(buffer.data());
}

} // namespace orvant::platform
