#pragma once
// Windows code pages: on Windows GetCPInfoEx, WideCharToMultiByte and
// MultiByteToWideChar; on Linux glibc iconv stands behind the code page numbers.
//
// The conversions never fail: a character the charset cannot hold becomes the
// charset's "?" (what Windows does with its default character), and bytes that are
// not valid in the charset become U+FFFD.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct CodePage {
    std::uint32_t Number = 0; // 0: the system's default (the locale's charset)
    std::string Charset;      // the iconv name on Linux; "CP<number>" on Windows
    int MaxCharSize = 1;      // longest byte sequence of one character
};

// The code page when the system can convert it both ways; nothing otherwise.
// Number 0 is the locale's charset; the plain C locale counts as UTF-8, as on every
// current Linux desktop.
std::optional<CodePage> FindCodePage(std::uint32_t number);

// The iconv name behind a Windows code page number, or null when none is known.
// On Windows, where the system converts by number, only the UTF-16 and UTF-32 pages
// have one.
const char* CodePageCharset(std::uint32_t number);

std::vector<std::uint8_t> Utf16ToCodePage(const CodePage& codePage, std::u16string_view text);
std::u16string CodePageToUtf16(const CodePage& codePage, const std::uint8_t* bytes, std::size_t count);

} // namespace orvant::platform
