#include "mime/IdGlobal.h"

#include "platform/Utf.h"

#include <algorithm>
#include <limits>

std::string ToUtf8(StringView text)
{
    return orvant::platform::Utf16ToUtf8(text);
}

String FromUtf8(std::string_view text)
{
    return orvant::platform::Utf8ToUtf16(text);
}

String Trim(StringView s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && s[b] <= 32)
        ++b;
    while (e > b && s[e - 1] <= 32)
        --e;
    return String(s.substr(b, e - b));
}

String TrimLeft(StringView s)
{
    std::size_t b = 0;
    while (b < s.size() && s[b] <= 32)
        ++b;
    return String(s.substr(b));
}

String TrimRight(StringView s)
{
    std::size_t e = s.size();
    while (e > 0 && s[e - 1] <= 32)
        --e;
    return String(s.substr(0, e));
}

String UpperCase(StringView s)
{
    String r(s);
    for (auto& c : r)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return r;
}

String LowerCase(StringView s)
{
    String r(s);
    for (auto& c : r)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
    return r;
}

char16_t CaseFoldChar(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    // Latin-1 capitals (without the multiplication sign).
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    // Latin Extended-A: capitals at even code points, with a few odd-based runs.
    if (c >= 0x100 && c <= 0x137)
        return static_cast<char16_t>(c | 1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x14A && c <= 0x177)
        return static_cast<char16_t>(c | 1);
    if (c == 0x178)
        return 0xFF;
    // Greek and Cyrillic capitals.
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    return c;
}

namespace {

char16_t UpperFoldChar(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 32);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x137)
        return static_cast<char16_t>(c & ~1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : static_cast<char16_t>(c - 1);
    if (c >= 0x14A && c <= 0x177)
        return static_cast<char16_t>(c & ~1);
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
        return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 80);
    return c;
}

} // namespace

String AnsiUpperCase(StringView s)
{
    String r(s);
    for (auto& c : r)
        c = UpperFoldChar(c);
    return r;
}

String AnsiLowerCase(StringView s)
{
    String r(s);
    for (auto& c : r)
        c = CaseFoldChar(c);
    return r;
}

bool TextIsSame(StringView a, StringView b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (CaseFoldChar(a[i]) != CaseFoldChar(b[i]))
            return false;
    return true;
}

bool TextStartsWith(StringView s, StringView prefix)
{
    return s.size() >= prefix.size() && TextIsSame(s.substr(0, prefix.size()), prefix);
}

bool TextEndsWith(StringView s, StringView suffix)
{
    return s.size() >= suffix.size() && TextIsSame(s.substr(s.size() - suffix.size()), suffix);
}

std::size_t TextPos(StringView needle, StringView s, std::size_t from)
{
    if (needle.size() > s.size())
        return StringView::npos;
    for (std::size_t i = from; i + needle.size() <= s.size(); ++i)
        if (TextIsSame(s.substr(i, needle.size()), needle))
            return i;
    return StringView::npos;
}

int CompareText(StringView a, StringView b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = CaseFoldChar(a[i]);
        const char16_t y = CaseFoldChar(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

String IntToStr(std::int64_t value)
{
    return FromUtf8(std::to_string(value));
}

String UIntToStr(std::uint64_t value)
{
    return FromUtf8(std::to_string(value));
}

std::int64_t StrToInt64Def(StringView s, std::int64_t def)
{
    const String t = Trim(s);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i == t.size())
        return def;
    std::uint64_t v = 0;
    const std::uint64_t limit = negative
        ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
        : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9')
            return def;
        const unsigned digit = t[i] - u'0';
        if (v > (limit - digit) / 10)
            return def;
        v = v * 10 + digit;
    }
    if (negative)
        return v == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(v);
    return static_cast<std::int64_t>(v);
}

int StrToIntDef(StringView s, int def)
{
    const std::int64_t v = StrToInt64Def(s, std::int64_t(def));
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return def;
    return static_cast<int>(v);
}

bool IsNumeric(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

String BytesToHex(const std::uint8_t* bytes, std::size_t length, StringView separator)
{
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    String text;
    text.reserve(length * (2 + separator.size()));
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0)
            text += separator;
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

bool IsNumeric(StringView s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char16_t c) { return IsNumeric(c); });
}

namespace {

String FormatNumber(std::uint64_t magnitude, bool negative, int base, bool upper, int width, bool zeroPad)
{
    String digits;
    do {
        const unsigned d = static_cast<unsigned>(magnitude % static_cast<unsigned>(base));
        digits.insert(digits.begin(),
                      static_cast<char16_t>(d < 10 ? u'0' + d : (upper ? u'A' : u'a') + d - 10));
        magnitude /= static_cast<unsigned>(base);
    } while (magnitude != 0);
    String out;
    const int len = static_cast<int>(digits.size()) + (negative ? 1 : 0);
    if (zeroPad) {
        if (negative)
            out += u'-';
        out.append(static_cast<std::size_t>(std::max(0, width - len)), u'0');
        out += digits;
    } else {
        out.append(static_cast<std::size_t>(std::max(0, width - len)), u' ');
        if (negative)
            out += u'-';
        out += digits;
    }
    return out;
}

String FormatOne(const FormatArg& arg, char16_t conv, int width, bool zeroPad)
{
    if (conv == u's') {
        if (const auto* s = std::get_if<String>(&arg))
            return *s;
        if (const auto* i = std::get_if<std::int64_t>(&arg))
            return IntToStr(*i);
        return UIntToStr(std::get<std::uint64_t>(arg));
    }
    std::uint64_t magnitude = 0;
    bool negative = false;
    if (const auto* i = std::get_if<std::int64_t>(&arg)) {
        negative = *i < 0 && conv == u'd';
        magnitude = negative ? static_cast<std::uint64_t>(-(*i + 1)) + 1 : static_cast<std::uint64_t>(*i);
        if (conv != u'd' && *i < 0)
            magnitude = static_cast<std::uint32_t>(*i); // unsigned views of a negative 32-bit value
    } else if (const auto* u = std::get_if<std::uint64_t>(&arg)) {
        magnitude = *u;
    } else {
        return std::get<String>(arg);
    }
    const int base = (conv == u'x' || conv == u'X') ? 16 : 10;
    return FormatNumber(magnitude, negative, base, conv == u'X', width, zeroPad);
}

} // namespace

String Format(StringView format, std::initializer_list<FormatArg> args)
{
    String out;
    out.reserve(format.size() + 16);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        std::size_t j = i + 1;
        if (format[j] == u'%') {
            out += u'%';
            i = j;
            continue;
        }
        bool zeroPad = false;
        if (format[j] == u'0') {
            zeroPad = true;
            ++j;
        }
        int width = 0;
        while (j < format.size() && IsNumeric(format[j]))
            width = width * 10 + (format[j++] - u'0');
        if (j >= format.size()) {
            out.append(format.substr(i));
            break;
        }
        const char16_t conv = format[j];
        if (conv != u's' && conv != u'd' && conv != u'u' && conv != u'x' && conv != u'X') {
            out.append(format.substr(i, j - i + 1));
            i = j;
            continue;
        }
        if (next != args.end())
            out += FormatOne(*next++, conv, width, zeroPad);
        i = j;
    }
    return out;
}

String Fetch(String& s, StringView delimiter, bool caseSensitive)
{
    const std::size_t p = caseSensitive ? s.find(delimiter) : TextPos(delimiter, s);
    if (p == String::npos) {
        String all;
        all.swap(s);
        return all;
    }
    String head = s.substr(0, p);
    s.erase(0, p + delimiter.size());
    return head;
}

String StringReplaceAll(StringView s, StringView from, StringView to)
{
    if (from.empty())
        return String(s);
    String out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t p = s.find(from, pos);
        if (p == StringView::npos)
            break;
        out.append(s.substr(pos, p - pos));
        out.append(to);
        pos = p + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

bool CharIsInSet(char16_t c, StringView set)
{
    return set.find(c) != StringView::npos;
}

std::size_t FindFirstOf(StringView s, StringView set, std::size_t from)
{
    return s.find_first_of(set, from);
}

TIdBytes ToBytesRaw(StringView text)
{
    TIdBytes out(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = text[i] < 256 ? static_cast<std::uint8_t>(text[i]) : std::uint8_t('?');
    return out;
}

String BytesToStringRaw(const std::uint8_t* bytes, std::size_t length)
{
    return String(bytes, bytes + length);
}

String ExtractFileName(StringView path)
{
    const std::size_t p = path.find_last_of(u"\\/:");
    return String(p == StringView::npos ? path : path.substr(p + 1));
}
