#pragma once
// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes away; with helpers to lay out files for a test.

#include "platform/NativePath.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace orvant::test {

// A new folder in the system's temporary folder, named `prefix` and six random
// characters, open to the user only; throws when it cannot be made. The caller
// removes it.
std::string NewTempFolder(std::string_view prefix);

class TTempDir {
public:
    explicit TTempDir(std::string_view prefix = "orvant-test-");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::string Str() const { return orvant::platform::Utf8OfNativePath(FPath); } // UTF-8

    // Writes a file (creating its folders) below the temporary folder.
    std::filesystem::path WriteFile(const std::string& relative, const std::string& content) const;
    std::filesystem::path MakeDir(const std::string& relative) const;

private:
    std::filesystem::path FPath;
};

std::string ReadFile(const std::filesystem::path& path);

} // namespace orvant::test
