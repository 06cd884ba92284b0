#include "platform/IniFile.h"

#include "platform/CaseFold.h"
#include "platform/WindowsText.h"

#include <windows.h>

namespace orvant::platform {

namespace {

std::u16string_view TrimBlanks(std::u16string_view s)
{
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

TIniFile TIniFile::Load(const std::string& path)
{
    // The profile functions look for a name without a folder in the Windows
    // folder, so the path is made absolute first (against the current folder, as
    // the Linux build opens it).
    const std::wstring given = WideOf(path);
    const DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return {};
    full.resize(length);
    const DWORD attributes = ::GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {}; // a missing file reads as the defaults, as the system would give them
    TIniFile ini;
    ini.FSystemFile = Utf8Of(full);
    return ini;
}

std::u16string TIniFile::ReadFromSystem(std::u16string_view section, std::u16string_view key,
                                        std::u16string_view defaultValue) const
{
    // The system trims the blanks, takes off one pair of enclosing quotes and cuts
    // the value to the buffer less its terminating zero: kMaxValueLength characters.
    wchar_t buffer[kMaxValueLength + 1] {};
    const std::wstring file = WideOf(FSystemFile);
    const std::wstring sectionName = WideOf(TrimBlanks(section));
    const std::wstring keyName = WideOf(TrimBlanks(key));
    const std::wstring fallback = WideOf(defaultValue.substr(0, kMaxValueLength));
    const DWORD n = ::GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), fallback.c_str(), buffer,
                                               static_cast<DWORD>(std::size(buffer)), file.c_str());
    return Utf16Of(std::wstring_view(buffer, n));
}

bool TIniFile::SystemHasSection(std::u16string_view section) const
{
    const std::wstring file = WideOf(FSystemFile);
    // The names come as one block of zero-terminated strings; a block that fills
    // the buffer (size less two) may have been cut, so it is read again larger.
    std::wstring names(4096, L'\0');
    DWORD n = 0;
    for (;;) {
        n = ::GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), file.c_str());
        if (n + 2 < names.size() || names.size() >= (1u << 24))
            break;
        names.assign(names.size() * 4, L'\0');
    }
    const std::u16string wanted = FoldCase(TrimBlanks(section));
    const std::u16string all = Utf16Of(std::wstring_view(names.data(), n));
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find(u'\0', start);
        if (end == std::u16string::npos)
            end = all.size();
        if (FoldCase(TrimBlanks(std::u16string_view(all).substr(start, end - start))) == wanted)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace orvant::platform
