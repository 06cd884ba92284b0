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

    const String begin = u"=?" + String(charSet) + u"?" + encoding + u"?";
    for (std::size_t i = 0; i < encoded.size();) {
        if (IsSpace(encoded[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < encoded.size() && !IsSpace(encoded[end]))
            ++end;
        const String token = encoded.substr(i, end - i);
        const String decoded = DecodeEncodedWords(token);
        if (decoded != token) {
            FUZZ_CHECK(token.size() <= 75);
            FUZZ_CHECK(token.compare(0, begin.size(), begin) == 0);
            // No character cut in two (the text itself holds no replacement character).
            if (text.find(u'\uFFFD') == String::npos)
                FUZZ_CHECK(decoded.find(u'\uFFFD') == String::npos);
        }
        i = end;
    }
    // A line break followed by a further encoded word continues a run: the word
    // before it ends right there.
    const String wordBreak = u"\r\n " + begin;
    for (std::size_t k = encoded.find(wordBreak); k != String::npos; k = encoded.find(wordBreak, k + 1))
        FUZZ_CHECK(k >= 2 && encoded.compare(k - 2, 2, u"?=") == 0);

    (void)DecodeEncodedWords(text);
    return 0;
}
