#pragma once
// UTF-8 <-> UTF-16 conversion at the operating-system boundary, and the code-point
// steps it is made of, which the library's UTF-8 text encoding shares.
//
// Text inside the program is UTF-16 (std::u16string); Linux file names, command
// lines, environment values and terminal output are UTF-8. Ill-formed input never
// throws: a bad UTF-8 sequence or a lone surrogate becomes U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvant::platform {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one UTF-8 sequence at i, advancing i. An ill-formed sequence (a stray
// continuation byte, a truncated, overlong or surrogate sequence, a value above
// U+10FFFF) gives U+FFFD and consumes the lead byte and the continuation bytes that
// were examined, so the byte that broke it starts the next sequence.
inline char32_t NextUtf8CodePoint(const std::uint8_t* bytes, std::size_t size, std::size_t& i)
{
    const std::uint8_t b0 = bytes[i++];
    if (b0 < 0x80)
        return b0;
    int extra;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) { extra = 1; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { extra = 2; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { extra = 3; cp = b0 & 0x07; min = 0x10000; }
    else return kReplacementCharacter;
    for (int k = 0; k < extra; ++k) {
        if (i >= size || (bytes[i] & 0xC0) != 0x80)
            return kReplacementCharacter;
        cp = (cp << 6) | (bytes[i++] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacementCharacter;
    return cp;
}

// Reads one code point from UTF-16 at i, advancing i; a lone surrogate gives U+FFFD.
inline char32_t NextUtf16CodePoint(std::u16string_view text, std::size_t& i)
{
    const char32_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
            return 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
        return kReplacementCharacter;
    }
    if (c >= 0xDC00 && c <= 0xDFFF)
        return kReplacementCharacter;
    return c;
}

inline std::size_t Utf8Length(char32_t cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Writes the code point's UTF-8 bytes (Utf8Length of them) at out; returns their count.
inline std::size_t EncodeUtf8(char32_t cp, std::uint8_t* out)
{
    if (cp < 0x80) {
        out[0] = static_cast<std::uint8_t>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<std::uint8_t>(0xC0 | (cp >> 6));
        out[1] = static_cast<std::uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<std::uint8_t>(0xE0 | (cp >> 12));
        out[1] = static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<std::uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<std::uint8_t>(0xF0 | (cp >> 18));
    out[1] = static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<std::uint8_t>(0x80 | (cp & 0x3F));
    return 4;
}

// Writes the code point as one UTF-16 unit or a surrogate pair at out; returns 1 or 2.
inline std::size_t EncodeUtf16(char32_t cp, char16_t* out)
{
    if (cp < 0x10000) {
        out[0] = static_cast<char16_t>(cp);
        return 1;
    }
    cp -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return 2;
}

} // namespace orvant::platform
