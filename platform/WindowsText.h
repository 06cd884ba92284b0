#pragma once
// UTF-8 and UTF-16 text as the wide (W) Windows functions take it. Included only by
// the Windows units: wchar_t is UTF-16 there.

#include "platform/Utf.h"

#include <string>
#include <string_view>

namespace orvant::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows units need a 16-bit wchar_t");

inline std::wstring WideOf(std::u16string_view text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::wstring WideOf(std::string_view utf8)
{
    return WideOf(std::u16string_view(Utf8ToUtf16(utf8)));
}

inline std::u16string Utf16Of(std::wstring_view wide)
{
    return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

inline std::string Utf8Of(std::wstring_view wide)
{
    return Utf16ToUtf8(Utf16Of(wide));
}

} // namespace orvant::platform
