// Encoded words for arbitrary header text.
//
// Input: byte 0 picks B or Q, the charset (UTF-8, or ISO-8859-1 with the bytes taken
// one character each) and whether the address specials are used; the rest is the
// text (UTF-8 for the UTF-8 runs, so any character of the BMP and beyond occurs).
//
// Properties:
//  - decoding the result gives the text back (UTF-8 always; ISO-8859-1 because every
//    character of the text fits it);
//  - no encoded word is longer than 75 characters, and every one decodes on its own
//    to whole characters;
//  - inside a run, encoded words are separated by CR LF and one blank, so no line of
//    a run is longer than 76 characters.
#include "mime/IdCoderHeader.h"
#include "fuzz/PropertyCheck.h"

#include <cstdint>

namespace {

bool IsSpace(char16_t c)
{
    return c == u' ' || c == TAB || c == CR || c == LF;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const char16_t encoding = (data[0] & 1) ? u'Q' : u'B';
    const bool utf8 = (data[0] & 2) == 0;
    const StringView charSet = utf8 ? StringView(u"UTF-8") : StringView(u"ISO-8859-1");
    const StringView specials = (data[0] & 4) ? StringView(u"()<>[]:;.,@\\\"") : StringView();
    const String text = utf8 ? FromUtf8(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1))
                             : BytesToStringRaw(data + 1, size - 1);

    const String encoded = MakeEncodedWords(text, specials, encoding, charSet);
    FUZZ_CHECK(DecodeEncodedWords(encoded) == text);

    // Tokens are the runs between white space. Two encoded words in a row belong to
    // one run (runs are parted by plain words), and only CR LF and one blank may part
    // them, so no line of a run is longer than 76 characters.
    const String begin = u"=?" + String(charSet) + u"?" + encoding + u"?";
    bool previousEncoded = false;
    for (std::size_t i = 0; i < encoded.size();) {
        std::size_t tokenStart = i;
        while (tokenStart < encoded.size() && IsSpace(encoded[tokenStart]))
            ++tokenStart;
        if (tokenStart == encoded.size())
            break;
        std::size_t end = tokenStart;
        while (end < encoded.size() && !IsSpace(encoded[end]))
            ++end;
        const String token = encoded.substr(tokenStart, end - tokenStart);
        const String decoded = DecodeEncodedWords(token);
        const bool isEncoded = decoded != token;
        if (isEncoded) {
            FUZZ_CHECK(token.size() <= 75);
            FUZZ_CHECK(token.compare(0, begin.size(), begin) == 0);
            // No character cut in two (the text itself holds no replacement character).
            if (text.find(u'\uFFFD') == String::npos)
                FUZZ_CHECK(decoded.find(u'\uFFFD') == String::npos);
            if (previousEncoded)
                FUZZ_CHECK(encoded.compare(i, tokenStart - i, u"\r\n ") == 0 && tokenStart - i == 3);
        }
        previousEncoded = isEncoded;
        i = end;
    }

    (void)DecodeEncodedWords(text);
    return 0;
}
