#include "mime/IdCoderHeader.h"

#include "mime/IdHeaderCoderBase.h"
#include "platform/SystemLocale.h"

#include <array>
#include <optional>

namespace {

constexpr int kMaxEncodedWordLength = 75; // RFC 2047 section 2
constexpr StringView kEncodedWordEnd = u"?=";
constexpr StringView kEncodedWordBreak = u"\r\n ";
constexpr char16_t kBase64Alphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

using ByteSet = std::array<bool, 256>;

ByteSet ByteRange(int first, int last)
{
    ByteSet set{};
    for (int b = first; b <= last; ++b)
        set[static_cast<std::size_t>(b)] = true;
    return set;
}

bool IsWhiteSpaceByte(std::uint8_t b)
{
    return b == 9 || b == 10 || b == 13 || b == 32;
}

bool IsWhiteSpaceChar(char16_t c)
{
    return c == u' ' || c == TAB || c == CR || c == LF;
}

char16_t NormalizedHeaderEncoding(char16_t headerEncoding)
{
    if (headerEncoding == u'Q' || headerEncoding == u'q')
        return u'Q';
    if (headerEncoding == u'8')
        return u'8';
    return u'B';
}

// Which bytes of the charset's bytes begin a character (one entry per byte, plus one
// for the end). An encoded word must hold whole characters (RFC 2047 section 5), so
// words are only split where a character begins. The charset's bytes of each
// character are found by encoding the characters one by one; when that does not give
// the same bytes (a charset with shift states), every byte counts as a start.
std::vector<bool> CharacterStarts(StringView charSet, StringView text, const TIdBytes& bytes)
{
    // One byte per character: nothing to tell apart.
    if (bytes.size() == text.size())
        return std::vector<bool>(bytes.size() + 1, true);
    std::vector<bool> starts(bytes.size() + 1, false);
    starts[bytes.size()] = true;
    if (TextIsSame(charSet, u"UTF-8")) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            starts[i] = (bytes[i] & 0xC0) != 0x80;
        return starts;
    }
    try {
        std::size_t offset = 0;
        for (std::size_t i = 0; i < text.size();) {
            const bool pair = i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF &&
                              text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            const std::size_t units = pair ? 2 : 1;
            const TIdBytes one = HeaderTextToCharsetBytes(charSet, text.substr(i, units));
            if (offset + one.size() > bytes.size() ||
                !std::equal(one.begin(), one.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset)))
                throw std::exception();
            starts[offset] = true;
            offset += one.size();
            i += units;
        }
        if (offset != bytes.size())
            throw std::exception();
    } catch (const std::exception&) {
        // the characters cannot be told apart: split anywhere, as bytes
        starts.assign(bytes.size() + 1, true);
    }
    return starts;
}

void AppendBase64(String& out, const std::uint8_t* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; i += 3) {
        const std::size_t left = count - i;
        const std::uint32_t group = (std::uint32_t(data[i]) << 16) |
                                    (left > 1 ? std::uint32_t(data[i + 1]) << 8 : 0) |
                                    (left > 2 ? std::uint32_t(data[i + 2]) : 0);
        out += kBase64Alphabet[(group >> 18) & 63];
        out += kBase64Alphabet[(group >> 12) & 63];
        out += left > 1 ? kBase64Alphabet[(group >> 6) & 63] : u'=';
        out += left > 2 ? kBase64Alphabet[group & 63] : u'=';
    }
}

std::optional<TIdBytes> DecodeBase64(StringView data)
{
    TIdBytes out;
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t end = data.size();
    while (end > 0 && data[end - 1] == u'=')
        --end;
    const std::size_t padding = data.size() - end;
    if (padding > 2 || (padding > 0 && data.size() % 4 != 0))
        return std::nullopt;
    for (std::size_t i = 0; i < end; ++i) {
        const char16_t c = data[i];
        std::uint32_t v;
        if (c >= u'A' && c <= u'Z')
            v = c - u'A';
        else if (c >= u'a' && c <= u'z')
            v = c - u'a' + 26;
        else if (c >= u'0' && c <= u'9')
            v = c - u'0' + 52;
        else if (c == u'+')
            v = 62;
        else if (c == u'/')
            v = 63;
        else
            return std::nullopt;
        bits = (bits << 6) | v;
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.push_back(static_cast<std::uint8_t>((bits >> bitCount) & 0xFF));
        }
    }
    if (end % 4 == 1)
        return std::nullopt;
    return out;
}

std::optional<TIdBytes> DecodeQ(StringView data)
{
    TIdBytes out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char16_t c = data[i];
        if (c > 255)
            return std::nullopt;
        if (c == u'_') {
            out.push_back(' ');
        } else if (c == u'=' && i + 2 < data.size() && HexDigitValue(data[i + 1]) >= 0 && HexDigitValue(data[i + 2]) >= 0) {
            out.push_back(static_cast<std::uint8_t>(HexDigitValue(data[i + 1]) * 16 + HexDigitValue(data[i + 2])));
            i += 2;
        } else {
            out.push_back(static_cast<std::uint8_t>(c));
        }
    }
    return out;
}

std::optional<TIdBytes> DecodeRaw(StringView data)
{
    TIdBytes out;
    for (const char16_t c : data) {
        if (c > 255)
            return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(c));
    }
    return out;
}

// "=?charset?encoding?data?=" with encoding B, Q or 8 (any case) and a charset that a
// coder handles; a language suffix of the charset ("UTF-8*pt") is ignored.
std::optional<String> DecodeEncodedWord(StringView token)
{
    if (token.size() < 8 || token.substr(0, 2) != u"=?" || token.substr(token.size() - 2) != kEncodedWordEnd)
        return std::nullopt;
    const std::size_t charsetEnd = token.find(u'?', 2);
    if (charsetEnd == StringView::npos || charsetEnd == 2 || charsetEnd + 3 > token.size() - 2 ||
        token[charsetEnd + 2] != u'?')
        return std::nullopt;
    StringView charSet = token.substr(2, charsetEnd - 2);
    charSet = charSet.substr(0, charSet.find(u'*'));
    const StringView data = token.substr(charsetEnd + 3, token.size() - 2 - (charsetEnd + 3));

    std::optional<TIdBytes> bytes;
    switch (token[charsetEnd + 1]) {
    case u'B':
    case u'b':
        bytes = DecodeBase64(data);
        break;
    case u'Q':
    case u'q':
        if (data.find(u'?') == StringView::npos)
            bytes = DecodeQ(data);
        break;
    case u'8':
        bytes = DecodeRaw(data);
        break;
    default:
        break;
    }
    String text;
    if (!bytes || charSet.empty() || !HeaderCharsetBytesToText(charSet, *bytes, text))
        return std::nullopt;
    return text;
}

// Writes the bytes buf[first..last) as encoded words.
class TEncodedRunWriter {
public:
    TEncodedRunWriter(StringView charSet, char16_t headerEncoding, StringView specials,
                      const TIdBytes& buf, const std::vector<bool>& starts)
        : FBegin(u"=?" + String(charSet) + u"?" + headerEncoding + u"?"),
          FIsQ(headerEncoding == u'Q'), FBuf(buf), FStarts(starts),
          FQLiteral(ByteRange(33, 126))
    {
        FQLiteral['='] = FQLiteral['?'] = FQLiteral['_'] = false;
        for (const char16_t c : specials)
            if (c < 256)
                FQLiteral[c] = false;
    }

    void Write(String& out, std::size_t first, std::size_t last) const
    {
        out += FBegin;
        if (FIsQ)
            WriteQ(out, first, last);
        else
            WriteB(out, first, last);
        out += kEncodedWordEnd;
    }

private:
    std::size_t EmptyWordLength() const { return FBegin.size() + kEncodedWordEnd.size(); }

    std::size_t CharacterEnd(std::size_t from, std::size_t last) const
    {
        std::size_t to = from + 1;
        while (to < last && !FStarts[to])
            ++to;
        return to;
    }

    void NextWord(String& out) const
    {
        out += kEncodedWordEnd;
        out += kEncodedWordBreak;
        out += FBegin;
    }

    void WriteQ(String& out, std::size_t first, std::size_t last) const
    {
        std::size_t length = EmptyWordLength();
        bool wordEmpty = true;
        for (std::size_t i = first; i < last;) {
            const std::size_t end = CharacterEnd(i, last);
            String piece;
            for (; i < end; ++i) {
                const std::uint8_t b = FBuf[i];
                if (b == ' ') {
                    piece += u'_';
                } else if (FQLiteral[b]) {
                    piece += static_cast<char16_t>(b);
                } else {
                    piece += u'=';
                    piece += kHexDigits[b >> 4];
                    piece += kHexDigits[b & 15];
                }
            }
            if (!wordEmpty && length + piece.size() > kMaxEncodedWordLength) {
                NextWord(out);
                length = EmptyWordLength();
            }
            out += piece;
            length += piece.size();
            wordEmpty = false;
        }
    }

    void WriteB(String& out, std::size_t first, std::size_t last) const
    {
        // Whole groups of three bytes give four characters each.
        const std::size_t room = kMaxEncodedWordLength > EmptyWordLength() ? kMaxEncodedWordLength - EmptyWordLength() : 0;
        const std::size_t maxBytes = std::max<std::size_t>(room / 4, 1) * 3;
        for (std::size_t i = first; i < last;) {
            std::size_t end = CharacterEnd(i, last);
            while (end < last && CharacterEnd(end, last) - i <= maxBytes)
                end = CharacterEnd(end, last);
            if (i != first)
                NextWord(out);
            AppendBase64(out, FBuf.data() + i, end - i);
            i = end;
        }
    }

    String FBegin;
    bool FIsQ;
    const TIdBytes& FBuf;
    const std::vector<bool>& FStarts;
    ByteSet FQLiteral;
};

} // namespace

String MakeEncodedWords(StringView text, StringView specials, char16_t headerEncoding, StringView charSet)
{
    if (text.empty())
        return {};
    const TIdBytes buf = HeaderTextToCharsetBytes(charSet, text);
    const char16_t encoding = NormalizedHeaderEncoding(headerEncoding);
    if (encoding == u'8')
        return BytesToStringRaw(buf);

    ByteSet needsNoEncoding = ByteRange(32, 126);
    for (const char16_t c : specials)
        if (c < 256)
            needsNoEncoding[c] = false;
    // Text that already holds encoded words (typed by the user) must reach the reader
    // as typed: the words holding "=" are encoded again.
    if (DecodeEncodedWords(text) != text)
        needsNoEncoding['='] = false;

    const std::vector<bool> starts = CharacterStarts(charSet, text, buf);
    const TEncodedRunWriter runWriter(charSet, encoding, specials, buf, starts);
    auto plain = [&](std::size_t first, std::size_t last) { return BytesToStringRaw(buf.data() + first, last - first); };

    String result;
    // Start of the open run of words to encode; kNoRun while none is open. (A sentinel
    // rather than std::optional: GCC's -O2 flags the optional as maybe-uninitialised.)
    constexpr std::size_t kNoRun = StringView::npos;
    std::size_t runStart = kNoRun;
    std::size_t pos = 0;
    const std::size_t n = buf.size();
    while (pos < n) {
        std::size_t wordStart = pos;
        while (wordStart < n && IsWhiteSpaceByte(buf[wordStart]))
            ++wordStart;
        std::size_t wordEnd = wordStart;
        bool needsEncoding = false;
        for (; wordEnd < n && !IsWhiteSpaceByte(buf[wordEnd]); ++wordEnd)
            needsEncoding = needsEncoding || !needsNoEncoding[buf[wordEnd]];

        if (needsEncoding) {
            if (runStart == kNoRun) {
                result += plain(pos, wordStart);
                runStart = wordStart;
            }
        } else {
            if (runStart != kNoRun) {
                runWriter.Write(result, runStart, pos);
                runStart = kNoRun;
            }
            result += plain(pos, wordEnd);
        }
        pos = wordEnd;
    }
    if (runStart != kNoRun)
        runWriter.Write(result, runStart, n);
    return result;
}

String DecodeEncodedWords(StringView text)
{
    String result;
    StringView pendingSpace;
    bool afterEncodedWord = false;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = i;
        if (IsWhiteSpaceChar(text[i])) {
            while (j < text.size() && IsWhiteSpaceChar(text[j]))
                ++j;
            pendingSpace = text.substr(i, j - i);
            i = j;
            continue;
        }
        while (j < text.size() && !IsWhiteSpaceChar(text[j]))
            ++j;
        const StringView token = text.substr(i, j - i);
        if (const std::optional<String> decoded = DecodeEncodedWord(token)) {
            if (!afterEncodedWord)
                result += pendingSpace;
            result += *decoded;
            afterEncodedWord = true;
        } else {
            result += pendingSpace;
            result += token;
            afterEncodedWord = false;
        }
        pendingSpace = {};
        i = j;
    }
    result += pendingSpace;
    return result;
}

String DefaultCharSetForLocale(std::string_view localeName)
{
    const orvant::platform::LocaleLanguage locale = orvant::platform::LanguageOfLocale(localeName);
    const std::string& language = locale.Language;
    if (language == "zh")
        return locale.Territory == "CN" ? u"GB2312" : u"Big5";
    if (language == "ja")
        return u"ISO-2022-JP";
    if (language == "ko")
        return u"csEUCKR";
    if (language == "ru")
        return u"KOI8-R";
    if (language == "uk")
        return u"windows-1251";
    return u"UTF-8";
}

String DefaultCharSetForLocale()
{
    return DefaultCharSetForLocale(orvant::platform::UserLocaleName());
}
