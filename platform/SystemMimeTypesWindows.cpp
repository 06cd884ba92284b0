#include "platform/SystemMimeTypes.h"

#include "platform/WindowsText.h"

#include <windows.h>

namespace orvant::platform {

namespace {

// The "Content Type" text of one extension's key; empty when it has none.
std::wstring ContentType(HKEY classes, const wchar_t* extensionKey)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(classes, extensionKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    std::wstring value;
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, L"Content Type", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS
        && (type == REG_SZ || type == REG_EXPAND_SZ) && bytes >= sizeof(wchar_t)) {
        value.resize(bytes / sizeof(wchar_t) + 1);
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(key, L"Content Type", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size)
            == ERROR_SUCCESS)
            value.resize(size / sizeof(wchar_t));
        else
            value.clear();
        // The registry keeps the terminating zero in the value, or not.
        while (!value.empty() && value.back() == L'\0')
            value.pop_back();
    }
    ::RegCloseKey(key);
    return value;
}

} // namespace

std::vector<MimeTypeRegistration> RegisteredMimeTypes()
{
    std::vector<MimeTypeRegistration> result;
    // Key names are at most 255 characters.
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG status = ::RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr,
                                            nullptr);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break; // ERROR_NO_MORE_ITEMS, or a registry that cannot be read: what was found
        if (length < 2 || name[0] != L'.')
            continue; // not an extension (a ProgID, CLSID, ...)
        const std::wstring type = ContentType(HKEY_CLASSES_ROOT, name);
        if (!type.empty())
            result.push_back({Utf16Of(std::wstring_view(name + 1, length - 1)), Utf16Of(type)});
    }
    return result;
}

std::string DefaultMimeTypesFile()
{
    return {};
}

} // namespace orvant::platform
