#include "platform/CodePages.h"

#include <windows.h>

namespace orvant::platform {

namespace {

// UTF-16 and UTF-32 have code page numbers but are not converted by
// MultiByteToWideChar and WideCharToMultiByte; their bytes are laid out here.
struct TUnicodePage {
    std::uint32_t Number;
    const char* Name;
    int UnitSize;
    bool BigEndian;
};
constexpr TUnicodePage kUnicodePages[] = {
    {1200, "UTF-16LE", 2, false}, {1201, "UTF-16BE", 2, true},
    {12000, "UTF-32LE", 4, false}, {12001, "UTF-32BE", 4, true},
};

const TUnicodePage* UnicodePage(std::uint32_t number)
{
    for (const TUnicodePage& page : kUnicodePages)
        if (page.Number == number)
            return &page;
    return nullptr;
}

void PutUnit(std::vector<std::uint8_t>& out, std::uint32_t unit, const TUnicodePage& page)
{
    for (int i = 0; i < page.UnitSize; ++i) {
        const int shift = page.BigEndian ? (page.UnitSize - 1 - i) * 8 : i * 8;
        out.push_back(static_cast<std::uint8_t>((unit >> shift) & 0xFF));
    }
}

std::vector<std::uint8_t> UnicodeBytes(const TUnicodePage& page, std::u16string_view text)
{
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * static_cast<std::size_t>(page.UnitSize));
    for (std::size_t i = 0; i < text.size();) {
        if (page.UnitSize == 2) {
            PutUnit(out, text[i++], page);
            continue;
        }
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i += 2;
        } else {
            i += 1;
            if (c >= 0xD800 && c <= 0xDFFF)
                c = u'?'; // a lone surrogate has no UTF-32 form
        }
        PutUnit(out, c, page);
    }
    return out;
}

std::u16string UnicodeText(const TUnicodePage& page, const std::uint8_t* bytes, std::size_t count)
{
    std::u16string out;
    const auto size = static_cast<std::size_t>(page.UnitSize);
    for (std::size_t i = 0; i + size <= count; i += size) {
        std::uint32_t unit = 0;
        for (std::size_t b = 0; b < size; ++b) {
            const std::size_t at = page.BigEndian ? b : size - 1 - b;
            unit = (unit << 8) | bytes[i + at];
        }
        if (size == 2) {
            out += static_cast<char16_t>(unit);
        } else if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF)) {
            out += u'\uFFFD';
        } else if (unit >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((unit - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((unit - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(unit);
        }
    }
    if (count % size != 0)
        out += u'\uFFFD'; // a unit cut off at the end
    return out;
}

} // namespace

// No charset names behind the numbers on Windows: the system converts by number.
const char* CodePageCharset(std::uint32_t number)
{
    const TUnicodePage* page = UnicodePage(number);
    return page ? page->Name : nullptr;
}

std::optional<CodePage> FindCodePage(std::uint32_t number)
{
    CodePage result;
    result.Number = number;
    if (const TUnicodePage* page = UnicodePage(number)) {
        result.Charset = page->Name;
        result.MaxCharSize = 4;
        return result;
    }
    const UINT system = number == 0 ? ::GetACP() : number;
    CPINFOEXW info {};
    if (!::IsValidCodePage(system) || !::GetCPInfoExW(system, 0, &info))
        return std::nullopt;
    result.Charset = "CP" + std::to_string(system);
    result.MaxCharSize = static_cast<int>(info.MaxCharSize);
    return result;
}

std::vector<std::uint8_t> Utf16ToCodePage(const CodePage& codePage, std::u16string_view text)
{
    if (text.empty())
        return {};
    if (const TUnicodePage* page = UnicodePage(codePage.Number))
        return UnicodeBytes(*page, text);
    const UINT system = codePage.Number == 0 ? ::GetACP() : codePage.Number;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // No flags: the stateful pages (ISO-2022, UTF-7) and UTF-8 take none. A
    // character the page lacks becomes the page's default character, "?".
    const int size = ::WideCharToMultiByte(system, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    const int written = ::WideCharToMultiByte(system, 0, wide, length, reinterpret_cast<char*>(out.data()), size,
                                              nullptr, nullptr);
    out.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return out;
}

std::u16string CodePageToUtf16(const CodePage& codePage, const std::uint8_t* bytes, std::size_t count)
{
    if (count == 0)
        return {};
    if (const TUnicodePage* page = UnicodePage(codePage.Number))
        return UnicodeText(*page, bytes, count);
    const UINT system = codePage.Number == 0 ? ::GetACP() : codePage.Number;
    const auto* in = reinterpret_cast<const char*>(bytes);
    const int length = static_cast<int>(count);
    // Without MB_ERR_INVALID_CHARS an invalid sequence becomes U+FFFD.
    const int size = ::MultiByteToWideChar(system, 0, in, length, nullptr, 0);
    if (size <= 0)
        return {};
    std::u16string out(static_cast<std::size_t>(size), u'\0');
    const int written = ::MultiByteToWideChar(system, 0, in, length, reinterpret_cast<wchar_t*>(out.data()), size);
    out.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return out;
}

} // namespace orvant::platform
