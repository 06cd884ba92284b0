#include "platform/CharsetConversion.h"

#include <windows.h>

namespace orvant::platform {

std::optional<std::vector<std::uint8_t>> EncodeInCharset(const TCharsetId& charset, std::u16string_view text)
{
    if (charset.CodePage == 0 || !::IsValidCodePage(charset.CodePage))
        return std::nullopt;
    if (text.empty())
        return std::vector<std::uint8_t>();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // No flags and no default character: the ISO-2022 pages refuse both; a
    // character the page lacks comes out as "?" and the text ends in ASCII.
    const int size = ::WideCharToMultiByte(charset.CodePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::nullopt;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    const int written = ::WideCharToMultiByte(charset.CodePage, 0, wide, length, reinterpret_cast<char*>(out.data()),
                                              size, nullptr, nullptr);
    if (written <= 0)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::optional<std::u16string> DecodeFromCharset(const TCharsetId& charset, const std::uint8_t* bytes,
                                                std::size_t count)
{
    if (charset.CodePage == 0 || !::IsValidCodePage(charset.CodePage))
        return std::nullopt;
    if (count == 0)
        return std::u16string();
    const auto* in = reinterpret_cast<const char*>(bytes);
    const int length = static_cast<int>(count);
    const int size = ::MultiByteToWideChar(charset.CodePage, 0, in, length, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::u16string out(static_cast<std::size_t>(size), u'\0');
    const int written = ::MultiByteToWideChar(charset.CodePage, 0, in, length, reinterpret_cast<wchar_t*>(out.data()),
                                              size);
    if (written <= 0)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(written));
    return out;
}

} // namespace orvant::platform
