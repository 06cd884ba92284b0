#include "support/TempDir.h"

#include "platform/TempFile.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvant::test {

std::string NewTempFolder(std::string_view prefix)
{
    std::string folder = platform::CreateTempFolder(prefix);
    if (folder.empty())
        throw std::runtime_error("cannot make a temporary folder " + std::string(prefix) + "XXXXXX");
    return folder;
}

TTempDir::TTempDir(std::string_view prefix) : FPath(NewTempFolder(prefix)) {}

TTempDir::~TTempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make everything removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(FPath, ec);
}

std::filesystem::path TTempDir::WriteFile(const std::string& relative, const std::string& content) const
{
    const auto path = FPath / orvant::platform::NativePath(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::filesystem::path TTempDir::MakeDir(const std::string& relative) const
{
    const auto path = FPath / orvant::platform::NativePath(relative);
    std::filesystem::create_directories(path);
    return path;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace orvant::test
