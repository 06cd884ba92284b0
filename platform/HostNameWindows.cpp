#include "platform/HostName.h"

#include "platform/WindowsText.h"

#include <windows.h>

namespace orvant::platform {

std::string HostName()
{
    // The DNS host name (what gethostname gives on Linux), not the NetBIOS name,
    // which Windows cuts to 15 characters in upper case.
    DWORD size = 0;
    ::GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
    if (size == 0)
        return {};
    std::wstring name(size, L'\0');
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size))
        return {};
    name.resize(size);
    return Utf8Of(name);
}

} // namespace orvant::platform
