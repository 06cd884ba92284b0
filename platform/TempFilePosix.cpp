#include "platform/TempFile.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace orvant::platform {

std::string TempFolder()
{
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? std::string(dir) : std::string("/tmp");
}

std::string CreateTempFile(const std::string& folder, std::string_view prefix)
{
    std::string path = folder.empty() ? TempFolder() : folder;
    if (path.back() != '/')
        path += '/';
    path.append(prefix);
    path += "XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data()); // creates the file with mode 0600
    if (fd < 0)
        return {};
    close(fd);
    return std::string(name.data());
}

std::string CreateTempFolder(std::string_view prefix)
{
    std::string pattern = TempFolder();
    if (pattern.back() != '/')
        pattern += '/';
    pattern.append(prefix);
    pattern += "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) // creates the folder with mode 0700
        return {};
    return pattern;
}

} // namespace orvant::platform
