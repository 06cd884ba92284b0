#pragma once
// A path given as UTF-8 text (what TWinFileSystem::Map and the deployment file
// give) as the standard library opens it: on Windows std::filesystem::path from a
// narrow string would take the bytes in the ANSI code page, so "João" would name
// another file; from char8_t it is decoded as UTF-8 on every system. On Linux the
// bytes stay as they are.

#include <filesystem>
#include <string>

namespace orvant::platform {

inline std::filesystem::path NativePath(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The other way: a path from the standard library as UTF-8 text.
inline std::string Utf8OfNativePath(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace orvant::platform
