#include "platform/IniFile.h"

#include "platform/CaseFold.h"
#include "platform/Utf.h"

#include <array>

namespace orvant::platform {

namespace {

// Windows-1252 bytes 0x80..0x9F; the five bytes the code page leaves undefined
// pass through as the C1 control of the same value, as Windows converts them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string DecodeUtf16(const std::uint8_t* p, std::size_t size, bool bigEndian)
{
    std::u16string out;
    out.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto hi = bigEndian ? p[i] : p[i + 1];
        const auto lo = bigEndian ? p[i + 1] : p[i];
        out.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    return out;
}

std::u16string DecodeCp1252(const std::uint8_t* p, std::size_t size)
{
    std::u16string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(p[i] >= 0x80 && p[i] < 0xA0 ? kCp1252High[p[i] - 0x80] : p[i]);
    return out;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::u16string_view Unquote(std::u16string_view s)
{
    if (s.size() >= 2 && (s.front() == u'"' || s.front() == u'\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

} // namespace

std::u16string DecodeTextFile(const std::vector<std::uint8_t>& bytes)
{
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        return DecodeUtf16(p + 2, n - 2, false);
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF)
        return DecodeUtf16(p + 2, n - 2, true);
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(p + 3), n - 3));
    // Valid UTF-8 survives the round trip; any ill-formed byte comes back as U+FFFD.
    const std::string_view raw(reinterpret_cast<const char*>(p), n);
    std::u16string utf16 = Utf8ToUtf16(raw);
    if (Utf16ToUtf8(utf16) == raw)
        return utf16;
    return DecodeCp1252(p, n);
}

TIniFile TIniFile::FromText(std::u16string_view text)
{
    TIniFile ini;
    TSection* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string_view::npos)
            end = text.size();
        const std::u16string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == u';')
            continue;
        if (line.front() == u'[') {
            std::size_t close = line.find(u']');
            if (close == std::u16string_view::npos)
                close = line.size();
            ini.FSections.push_back({FoldCase(Trim(line.substr(1, close - 1))), {}});
            current = &ini.FSections.back();
            continue;
        }
        if (!current)
            continue; // lines before the first section belong to no section
        const std::size_t eq = line.find(u'=');
        const std::u16string_view key = Trim(line.substr(0, eq));
        const std::u16string_view value = eq == std::u16string_view::npos
            ? std::u16string_view() : line.substr(eq + 1);
        current->Entries.push_back({FoldCase(key), std::u16string(value)});
    }
    return ini;
}

const TIniFile::TSection* TIniFile::FindSection(std::u16string_view section) const
{
    const std::u16string folded = FoldCase(Trim(section));
    for (const auto& s : FSections) {
        if (s.FoldedName == folded)
            return &s;
    }
    return nullptr;
}

bool TIniFile::HasSection(std::u16string_view section) const
{
    if (!FSystemFile.empty())
        return SystemHasSection(section);
    return FindSection(section) != nullptr;
}

std::u16string TIniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view defaultValue) const
{
    if (!FSystemFile.empty())
        return ReadFromSystem(section, key, defaultValue);
    std::u16string_view result = defaultValue;
    if (const TSection* s = FindSection(section)) {
        const std::u16string folded = FoldCase(Trim(key));
        for (const auto& e : s->Entries) {
            if (e.FoldedKey == folded) {
                result = Unquote(Trim(e.Value));
                break;
            }
        }
    }
    return std::u16string(result.substr(0, kMaxValueLength));
}

} // namespace orvant::platform
