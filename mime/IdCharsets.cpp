// Charset names and code-page encodings.
//
// FIRST FORM, to be replaced by the full charset table and the iconv-backed
// code-page encodings: only the names the program itself uses are known here.
#include "mime/IdTextEncoding.h"

#include "smtp/IdExceptionCore.h"

IIdTextEncodingPtr IndyTextEncoding_OSDefault()
{
    return IndyTextEncoding_UTF8();
}

IIdTextEncodingPtr IndyTextEncoding_UTF7()
{
    return IndyTextEncoding_8Bit();
}

IIdTextEncodingPtr IndyTextEncoding(std::uint32_t codePage)
{
    switch (codePage) {
    case 1200: return IndyTextEncoding_UTF16LE();
    case 1201: return IndyTextEncoding_UTF16BE();
    case 20127: return IndyTextEncoding_ASCII();
    case 65001: return IndyTextEncoding_UTF8();
    case 28591: return std::make_shared<TId8BitEncoding>();
    default: break;
    }
    throw EIdException(Format(u"Invalid codepage (%d)", {std::uint64_t(codePage)}));
}

std::uint32_t CodePageForCharset(StringView charset)
{
    if (TextIsSame(charset, u"US-ASCII"))
        return 20127;
    if (TextIsSame(charset, u"ISO-8859-1") || TextIsSame(charset, u"latin1"))
        return 28591;
    if (TextIsSame(charset, u"UTF-8"))
        return 65001;
    return 0;
}

IIdTextEncodingPtr TextEncodingForCharset(StringView charset)
{
    try {
        const std::uint32_t cp = CodePageForCharset(charset);
        if (cp != 0)
            return IndyTextEncoding(cp);
    } catch (const Exception&) {
        // an unavailable code page falls back to 8-bit below
    }
    return IndyTextEncoding_8Bit();
}
