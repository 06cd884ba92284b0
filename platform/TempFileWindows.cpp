#include "platform/TempFile.h"

#include "platform/WindowsText.h"

#include <random>
#include <windows.h>

namespace orvant::platform {

namespace {

bool EndsWithSeparator(const std::string& path)
{
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// Six characters from a generator seeded by the system; a name taken already is
// simply tried again, so they need to be unlikely, not secret.
std::string RandomPart()
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator(std::random_device {}() ^ ::GetCurrentProcessId() ^ ::GetTickCount());
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
    std::string part;
    for (int i = 0; i < 6; ++i)
        part += kChars[pick(generator)];
    return part;
}

// Tries new names until `create` makes one (CREATE_NEW / CreateDirectoryW never
// take an existing name) or fails for another reason than the name being taken.
template <class Create>
std::string CreateUnique(std::string base, std::string_view prefix, Create create)
{
    if (!EndsWithSeparator(base))
        base += '\\';
    base.append(prefix);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = base + RandomPart();
        if (create(WideOf(path)))
            return path;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

} // namespace

std::string TempFolder()
{
    wchar_t buffer[MAX_PATH + 2] {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH + 1)
        return "C:\\Windows\\Temp";
    std::wstring folder(buffer, n);
    // Without the separator GetTempPathW ends with, like $TMPDIR on Linux; a drive
    // root ("C:\") keeps it.
    if (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return Utf8Of(folder);
}

// The user's temporary folder is the user's own (its ACL is inherited by what is
// created in it), which stands in for the mode 0600 / 0700 of the Linux version.
std::string CreateTempFile(const std::string& folder, std::string_view prefix)
{
    return CreateUnique(folder.empty() ? TempFolder() : folder, prefix, [](const std::wstring& path) {
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(file);
        return true;
    });
}

std::string CreateTempFolder(std::string_view prefix)
{
    return CreateUnique(TempFolder(), prefix,
                        [](const std::wstring& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != 0; });
}

} // namespace orvant::platform
