#include "platform/CodePages.h"

#include <bit>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <memory>

namespace orvant::platform {

namespace {

struct CodePageRow {
    std::uint32_t Number;
    const char* Charset;
    int MaxCharSize;
};

// Windows code page -> the glibc charset that implements it. Pages glibc lacks (the
// Mac pages but Roman, DOS-720, the ISCII and the Taiwanese pages, HZ) are left out,
// so they count as unavailable.
constexpr CodePageRow kCodePages[] = {
    {37, "IBM037", 1},       {437, "IBM437", 1},     {500, "IBM500", 1},
    {708, "ASMO-708", 1},    {737, "CP737", 1},      {775, "IBM775", 1},
    {850, "IBM850", 1},      {852, "IBM852", 1},     {855, "IBM855", 1},
    {857, "IBM857", 1},      {858, "IBM858", 1},     {860, "IBM860", 1},
    {861, "IBM861", 1},      {862, "IBM862", 1},     {863, "IBM863", 1},
    {864, "IBM864", 1},      {865, "IBM865", 1},     {866, "IBM866", 1},
    {869, "IBM869", 1},      {870, "IBM870", 1},     {874, "WINDOWS-874", 1},
    {875, "IBM875", 1},      {932, "CP932", 2},      {936, "CP936", 2},
    {949, "CP949", 2},       {950, "CP950", 2},      {1026, "IBM1026", 1},
    {1047, "IBM1047", 1},    {1140, "IBM1140", 1},   {1141, "IBM1141", 1},
    {1142, "IBM1142", 1},    {1143, "IBM1143", 1},   {1144, "IBM1144", 1},
    {1145, "IBM1145", 1},    {1146, "IBM1146", 1},   {1147, "IBM1147", 1},
    {1148, "IBM1148", 1},    {1149, "IBM1149", 1},   {1200, "UTF-16LE", 4},
    {1201, "UTF-16BE", 4},   {1250, "CP1250", 1},    {1251, "CP1251", 1},
    {1252, "CP1252", 1},     {1253, "CP1253", 1},    {1254, "CP1254", 1},
    {1255, "CP1255", 1},     {1256, "CP1256", 1},    {1257, "CP1257", 1},
    {1258, "CP1258", 1},     {1361, "JOHAB", 2},     {10000, "MACINTOSH", 1},
    {12000, "UTF-32LE", 4},  {12001, "UTF-32BE", 4}, {20127, "ANSI_X3.4-1968", 1},
    {20273, "IBM273", 1},    {20277, "IBM277", 1},   {20278, "IBM278", 1},
    {20280, "IBM280", 1},    {20284, "IBM284", 1},   {20285, "IBM285", 1},
    {20290, "IBM290", 1},    {20297, "IBM297", 1},   {20420, "IBM420", 1},
    {20423, "IBM423", 1},    {20424, "IBM424", 1},   {20866, "KOI8-R", 1},
    {20871, "IBM871", 1},    {20880, "IBM880", 1},   {20905, "IBM905", 1},
    {20932, "EUC-JP", 3},    {20936, "GB2312", 2},   {21025, "CP1025", 1},
    {21866, "KOI8-U", 1},    {28591, "ISO-8859-1", 1}, {28592, "ISO-8859-2", 1},
    {28593, "ISO-8859-3", 1}, {28594, "ISO-8859-4", 1}, {28595, "ISO-8859-5", 1},
    {28596, "ISO-8859-6", 1}, {28597, "ISO-8859-7", 1}, {28598, "ISO-8859-8", 1},
    {28599, "ISO-8859-9", 1}, {28603, "ISO-8859-13", 1}, {28605, "ISO-8859-15", 1},
    {38598, "ISO-8859-8", 1}, // the same bytes; only the display order differs
    // The three ISO-2022-JP pages differ in half-width katakana, which glibc's
    // ISO-2022-JP turns into "?".
    {50220, "ISO-2022-JP", 5}, {50221, "ISO-2022-JP", 5}, {50222, "ISO-2022-JP", 5},
    {50225, "ISO-2022-KR", 5}, {50227, "ISO-2022-CN", 5}, {51932, "EUC-JP", 3},
    {51936, "EUC-CN", 2},    {51949, "EUC-KR", 2},   {54936, "GB18030", 4},
    {65000, "UTF-7", 5},     {65001, "UTF-8", 4},
};

// The byte order of char16_t in memory, so text goes to iconv without copying.
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(cd);
}

// The locale's charset and its longest character, read without touching the
// process's own locale.
CodePage LocaleCodePage()
{
    CodePage result;
    result.Charset = "UTF-8";
    result.MaxCharSize = 4;
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return result; // a broken LANG setting: the C locale, taken as UTF-8
    const std::string charset = nl_langinfo_l(CODESET, locale);
    const locale_t previous = uselocale(locale);
    const auto maxCharSize = static_cast<int>(MB_CUR_MAX);
    uselocale(previous);
    freelocale(locale);
    // The C locale reports 7-bit ASCII; files and terminals there are UTF-8 in practice.
    if (!charset.empty() && charset != "ANSI_X3.4-1968") {
        result.Charset = charset;
        result.MaxCharSize = maxCharSize;
    }
    return result;
}

// Converts as much as iconv can, growing out whenever it runs short; used counts the
// bytes of out filled so far. A null in flushes the shift state. Returns 0, or the
// errno of a sequence that cannot be converted (EILSEQ) or is cut off at the end
// (EINVAL), with in pointing at it.
template <class Out>
int Convert(iconv_t cd, char*& in, std::size_t& inLeft, Out& out, std::size_t& used)
{
    for (;;) {
        char* outPtr = reinterpret_cast<char*>(out.data()) + used;
        std::size_t outLeft = out.size() * sizeof(out[0]) - used;
        const std::size_t r = iconv(cd, in ? &in : nullptr, in ? &inLeft : nullptr, &outPtr, &outLeft);
        const int error = r == static_cast<std::size_t>(-1) ? errno : 0;
        used = out.size() * sizeof(out[0]) - outLeft;
        if (error != E2BIG)
            return error;
        out.resize(out.size() * 2 + 16);
    }
}

} // namespace

const char* CodePageCharset(std::uint32_t number)
{
    for (const CodePageRow& row : kCodePages)
        if (row.Number == number)
            return row.Charset;
    return nullptr;
}

std::optional<CodePage> FindCodePage(std::uint32_t number)
{
    CodePage result;
    if (number == 0) {
        result = LocaleCodePage();
    } else {
        const CodePageRow* row = nullptr;
        for (const CodePageRow& r : kCodePages)
            if (r.Number == number)
                row = &r;
        if (row == nullptr)
            return std::nullopt;
        result.Number = number;
        result.Charset = row->Charset;
        result.MaxCharSize = row->MaxCharSize;
    }
    if (!OpenIconv(result.Charset.c_str(), kUtf16) || !OpenIconv(kUtf16, result.Charset.c_str()))
        return std::nullopt;
    return result;
}

std::vector<std::uint8_t> Utf16ToCodePage(const CodePage& codePage, std::u16string_view text)
{
    std::vector<std::uint8_t> out;
    const IconvHandle cd = OpenIconv(codePage.Charset.c_str(), kUtf16);
    if (!cd || text.empty())
        return out;
    out.resize(text.size() * static_cast<std::size_t>(codePage.MaxCharSize) + 16);
    std::size_t used = 0;
    auto* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t inLeft = text.size() * 2;
    static const char16_t kQuestion = u'?';
    while (inLeft > 0 && Convert(static_cast<iconv_t>(cd.get()), in, inLeft, out, used) != 0) {
        // Not in the charset (or a lone surrogate): skip the character and write the
        // charset's own "?" through the same converter, so a shift state stays right.
        const auto* units = reinterpret_cast<const char16_t*>(in);
        const bool pair = inLeft >= 4 && units[0] >= 0xD800 && units[0] <= 0xDBFF &&
                          units[1] >= 0xDC00 && units[1] <= 0xDFFF;
        const std::size_t skip = pair ? 4 : 2;
        in += skip;
        inLeft -= skip;
        auto* q = const_cast<char*>(reinterpret_cast<const char*>(&kQuestion));
        std::size_t qLeft = 2;
        Convert(static_cast<iconv_t>(cd.get()), q, qLeft, out, used);
    }
    char* none = nullptr;
    std::size_t noneLeft = 0;
    Convert(static_cast<iconv_t>(cd.get()), none, noneLeft, out, used); // back to the initial shift state
    out.resize(used);
    return out;
}

std::u16string CodePageToUtf16(const CodePage& codePage, const std::uint8_t* bytes, std::size_t count)
{
    std::u16string out;
    const IconvHandle cd = OpenIconv(kUtf16, codePage.Charset.c_str());
    if (!cd || count == 0)
        return out;
    out.resize(count + 16);
    std::size_t used = 0;
    auto* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t inLeft = count;
    while (inLeft > 0) {
        const int error = Convert(static_cast<iconv_t>(cd.get()), in, inLeft, out, used);
        if (error == 0)
            break;
        // An invalid byte, or a sequence cut off at the end: one U+FFFD for it.
        if (used + 2 > out.size() * 2)
            out.resize(out.size() * 2 + 16);
        out[used / 2] = u'\uFFFD';
        used += 2;
        if (error == EINVAL)
            break;
        ++in;
        --inLeft;
    }
    out.resize(used / 2);
    return out;
}

} // namespace orvant::platform
