// Charset names and code-page encodings.
#include "mime/IdCharsetTable.h"
#include "mime/IdTextEncoding.h"

#include "smtp/IdException.h"

#include <atomic>

namespace {

std::atomic<TIdCharsetEncodingHook> gCharsetHook{nullptr};

bool SameCharsetName(StringView name, const char* rowName)
{
    std::size_t i = 0;
    for (; i < name.size() && rowName[i] != '\0'; ++i) {
        char16_t a = name[i];
        char16_t b = static_cast<unsigned char>(rowName[i]);
        if (a >= u'A' && a <= u'Z')
            a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z')
            b = static_cast<char16_t>(b + 32);
        if (a != b)
            return false;
    }
    return i == name.size() && rowName[i] == '\0';
}

} // namespace

IIdTextEncodingPtr IndyTextEncoding(std::uint32_t codePage)
{
    switch (codePage) {
    case 1200: return IndyTextEncoding_UTF16LE();
    case 1201: return IndyTextEncoding_UTF16BE();
    case 20127: return IndyTextEncoding_ASCII();
    case 65000: return IndyTextEncoding_UTF7();
    case 65001: return IndyTextEncoding_UTF8();
    default: return std::make_shared<TIdMBCSEncoding>(codePage);
    }
}

std::uint32_t CodePageForCharset(StringView charset)
{
    if (charset.empty())
        return 0;
    // Charset names are ASCII, so ASCII case folding is the right comparison.
    for (const TIdCharsetRow& row : IdCharsetTable())
        if (SameCharsetName(charset, row.Name))
            return row.CodePage;
    return 0;
}

void SetCharsetEncodingHook(TIdCharsetEncodingHook hook)
{
    gCharsetHook.store(hook);
}

IIdTextEncodingPtr TextEncodingForCharset(StringView charset)
{
    if (const TIdCharsetEncodingHook hook = gCharsetHook.load(); hook != nullptr && !charset.empty())
        if (IIdTextEncodingPtr encoding = hook(charset))
            return encoding;
    try {
        const std::uint32_t codePage = CodePageForCharset(charset);
        if (codePage != 0)
            return IndyTextEncoding(codePage);
    } catch (const Exception&) {
        // A code page the system cannot convert: its text goes out one byte per
        // character below 256, like an unknown charset.
    }
    return IndyTextEncoding_8Bit();
}
