#include "platform/SystemMimeTypes.h"

#include "platform/NativePath.h"
#include "platform/Utf.h"

#include <fstream>
#include <mutex>
#include <string_view>

namespace orvant::platform {

namespace {

std::mutex gPathLock;
std::string gPath = DefaultMimeTypesFile();

} // namespace

std::vector<MimeTypeRegistration> ReadMimeTypesFile(const std::string& path)
{
    if (path.empty())
        return RegisteredMimeTypes();
    std::ifstream in(NativePath(path), std::ios::binary);
    std::string text;
    // A read error (a folder) ends the text; the stream reports it as a state, never raises.
    for (char block[16384]; in.read(block, sizeof block) || in.gcount() > 0;)
        text.append(block, static_cast<std::size_t>(in.gcount()));
    // The words of each line are split by hand: a string stream per line made reading
    // the system's two thousand lines the larger part of a short send's start-up.
    const auto isBlank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::vector<MimeTypeRegistration> result;
    std::u16string mimeType;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        std::string_view line = std::string_view(text).substr(lineStart, lineEnd - lineStart);
        line = line.substr(0, line.find('#'));
        lineStart = lineEnd + 1;
        bool first = true;
        for (std::size_t i = 0; i < line.size();) {
            while (i < line.size() && isBlank(line[i]))
                ++i;
            const std::size_t start = i;
            while (i < line.size() && !isBlank(line[i]))
                ++i;
            if (i == start)
                break;
            const std::u16string word = Utf8ToUtf16(line.substr(start, i - start));
            if (first)
                mimeType = word;
            else
                result.push_back({word, mimeType});
            first = false;
        }
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
