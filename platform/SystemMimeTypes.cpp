#include "platform/SystemMimeTypes.h"

#include "platform/Utf.h"

#include <fstream>
#include <mutex>
#include <sstream>

namespace orvant::platform {

namespace {

std::mutex gPathLock;
std::string gPath = "/etc/mime.types";

} // namespace

std::vector<MimeTypeRegistration> ReadMimeTypesFile(const std::string& path)
{
    std::vector<MimeTypeRegistration> result;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string type;
        if (!(words >> type))
            continue;
        const std::u16string mimeType = Utf8ToUtf16(type);
        for (std::string ext; words >> ext;)
            result.push_back({Utf8ToUtf16(ext), mimeType});
    }
    return result;
}

std::string SystemMimeTypesFile()
{
    std::lock_guard lock(gPathLock);
    return gPath;
}

void SetSystemMimeTypesFile(const std::string& path)
{
    std::lock_guard lock(gPathLock);
    gPath = path;
}

} // namespace orvant::platform
