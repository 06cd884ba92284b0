#include "platform/DeploymentConfig.h"

#include "platform/Utf.h"
#include "platform/WindowsText.h"

#include <windows.h>

namespace orvant::platform {

std::string DefaultDeploymentConfigPath()
{
    // The machine-wide folder for program data (every user's Orvant and the
    // scheduled runs read one file). The environment names it on every Windows
    // since Vista; an environment without it falls back to its usual place.
    std::wstring folder(MAX_PATH, L'\0');
    DWORD n = ::GetEnvironmentVariableW(L"ProgramData", folder.data(), static_cast<DWORD>(folder.size()));
    if (n >= folder.size()) {
        folder.resize(n);
        n = ::GetEnvironmentVariableW(L"ProgramData", folder.data(), static_cast<DWORD>(folder.size()));
    }
    folder.resize(n > 0 && n < folder.size() ? n : 0);
    if (folder.empty())
        folder = L"C:\\ProgramData";
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return Utf8Of(folder) + "\\Orvant\\orvant.conf";
}

// Drive C: and the shares are the real ones.
bool DeploymentPathsUsed()
{
    return false;
}

bool IsAbsoluteConfigPath(const std::string& path)
{
    // "C:\..." and "\\host\share\..."; "\x" (the current drive's root) too.
    return LooksLikeWinAbsolutePath(Utf8ToUtf16(path)) || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

const char* ConfigPathSeparators()
{
    return "\\/";
}

} // namespace orvant::platform
