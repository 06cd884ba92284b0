#include "platform/LocaleCollation.h"

#include <cwchar>
#include <string>

namespace orvant::platform {

namespace {

// UTF-16 to the C library's wide characters (UTF-32 on Linux); a lone surrogate
// becomes U+FFFD.
std::wstring ToWide(std::u16string_view s)
{
    std::wstring w;
    w.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            w += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            w += static_cast<wchar_t>(0xFFFD);
        } else {
            w += static_cast<wchar_t>(c);
        }
    }
    return w;
}

} // namespace

int CompareStringsByLocale(std::u16string_view a, std::u16string_view b)
{
    // wcscoll stops at a NUL character; the code-unit comparison below still tells
    // such texts apart.
    const int byLocale = std::wcscoll(ToWide(a).c_str(), ToWide(b).c_str());
    if (byLocale != 0)
        return byLocale;
    return a.compare(b);
}

} // namespace orvant::platform
