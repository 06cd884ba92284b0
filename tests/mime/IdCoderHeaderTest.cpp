#include "mime/IdCoderHeader.h"
#include "mime/IdHeaderCoderBase.h"
#include "mime/IdHeaderList.h"
#include "platform/CodePages.h"
#include "platform/SystemLocale.h"
#include "smtp/IdExceptionCore.h"

#include <gtest/gtest.h>


namespace {

const String kBreak = u"\r\n ";

std::vector<String> SplitAt(const String& text, StringView separator)
{
    std::vector<String> parts;
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find(separator, start)) != String::npos; start = pos + separator.size())
        parts.push_back(text.substr(start, pos - start));
    parts.push_back(text.substr(start));
    return parts;
}

String Repeat(StringView piece, int times)
{
    String s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

// The encoded words of one run: none longer than 75 characters, each decoding on
// its own to whole characters; together they give the text back.
void ExpectWholeWords(const String& encoded, const String& text, std::size_t expectedWords)
{
    const std::vector<String> words = SplitAt(encoded, kBreak);
    EXPECT_EQ(words.size(), expectedWords);
    String joined;
    for (const String& word : words) {
        SCOPED_TRACE(ToUtf8(word));
        EXPECT_LE(word.size(), 75u);
        const String decoded = DecodeEncodedWords(word);
        EXPECT_NE(decoded, word);
        EXPECT_EQ(decoded.find(u'\uFFFD'), String::npos);
        joined += decoded;
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(DecodeEncodedWords(encoded), text);
}

} // namespace

TEST(IdCoderHeader, OnlyTheWordsThatNeedItAreEncoded)
{
    EXPECT_EQ(MakeEncodedWords(u"Loja Centro - XML - Março de 2026", u"", u'B', u"UTF-8"),
              u"Loja Centro - XML - =?UTF-8?B?TWFyw6dv?= de 2026");
    // Neighbouring words share one encoded word, the blank between them inside it.
    EXPECT_EQ(MakeEncodedWords(u"São João", u"", u'B', u"UTF-8"), u"=?UTF-8?B?U8OjbyBKb8Ojbw==?=");
    EXPECT_EQ(MakeEncodedWords(u"São Paulo - Março", u"", u'B', u"UTF-8"),
              u"=?UTF-8?B?U8Ojbw==?= Paulo - =?UTF-8?B?TWFyw6dv?=");
    EXPECT_EQ(MakeEncodedWords(u" São ", u"", u'B', u"UTF-8"), u" =?UTF-8?B?U8Ojbw==?= ");
    // Plain ASCII comes back unchanged, tabs and runs of blanks included.
    const String ascii = u"Loja\tCentro   -  XML\t\t- 03/2026 (a=b?) ";
    EXPECT_EQ(MakeEncodedWords(ascii, u"", u'B', u"UTF-8"), ascii);
    EXPECT_EQ(MakeEncodedWords(ascii, u"", u'Q', u"ISO-8859-1"), ascii);
    EXPECT_EQ(MakeEncodedWords(u"", u"", u'B', u"UTF-8"), u"");
    // Specials force their word into an encoded word.
    EXPECT_EQ(MakeEncodedWords(u"a.b c", u".", u'Q', u"UTF-8"), u"=?UTF-8?Q?a=2Eb?= c");
}

TEST(IdCoderHeader, QEncoding)
{
    EXPECT_EQ(MakeEncodedWords(u"Março", u"", u'Q', u"ISO-8859-1"), u"=?ISO-8859-1?Q?Mar=E7o?=");
    EXPECT_EQ(MakeEncodedWords(u"São João", u"", u'q', u"ISO-8859-1"), u"=?ISO-8859-1?Q?S=E3o_Jo=E3o?=");
    EXPECT_EQ(MakeEncodedWords(u"ç=?_\t", u"", u'Q', u"ISO-8859-1"), u"=?ISO-8859-1?Q?=E7=3D=3F=5F?=\t");
    // A character the charset lacks becomes "?", which is then plain text.
    EXPECT_EQ(MakeEncodedWords(u"Preço €5", u"", u'Q', u"ISO-8859-1"), u"=?ISO-8859-1?Q?Pre=E7o?= ?5");

    // 40 letters of three characters each: 19 per word.
    const String forty = Repeat(u"ç", 40);
    const String encoded = MakeEncodedWords(forty, u"", u'Q', u"ISO-8859-1");
    EXPECT_EQ(encoded, u"=?ISO-8859-1?Q?" + Repeat(u"=E7", 19) + u"?=\r\n =?ISO-8859-1?Q?" + Repeat(u"=E7", 19) +
                           u"?=\r\n =?ISO-8859-1?Q?=E7=E7?=");
    ExpectWholeWords(encoded, forty, 3);
    // Multi-byte characters stay within one word in Q as well.
    ExpectWholeWords(MakeEncodedWords(Repeat(u"€", 30), u"", u'Q', u"UTF-8"), Repeat(u"€", 30), 5);
}

TEST(IdCoderHeader, LongRunsAreSplitIntoWordsOfWholeCharacters)
{
    // 60 two-byte letters (120 bytes): three words of at most 45 bytes, none cutting
    // a letter in two.
    const String sixty = Repeat(u"ç", 60);
    const String encoded = MakeEncodedWords(sixty, u"", u'B', u"UTF-8");
    EXPECT_EQ(SplitAt(encoded, kBreak)[0], u"=?UTF-8?B?w6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6c=?=");
    ExpectWholeWords(encoded, sixty, 3);

    // Three-byte characters fill the 45 bytes exactly; four-byte ones (surrogate
    // pairs in the text) leave a little room.
    EXPECT_EQ(MakeEncodedWords(Repeat(u"€", 15), u"", u'B', u"UTF-8"),
              u"=?UTF-8?B?4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs4oKs?=");
    ExpectWholeWords(MakeEncodedWords(Repeat(u"€", 31), u"", u'B', u"UTF-8"), Repeat(u"€", 31), 3);
    const String smileys = Repeat(u"\U0001F600", 20);
    const String encodedSmileys = MakeEncodedWords(smileys, u"", u'B', u"UTF-8");
    EXPECT_EQ(SplitAt(encodedSmileys, kBreak)[1], u"=?UTF-8?B?8J+YgPCfmIDwn5iA8J+YgPCfmIDwn5iA8J+YgPCfmIDwn5iA?=");
    ExpectWholeWords(encodedSmileys, smileys, 2);

    // Single-byte charsets fill every word with whole groups: 14 groups (42 bytes)
    // behind "=?ISO-8859-1?B?".
    const String latin = Repeat(u"ã", 50);
    const std::vector<String> words = SplitAt(MakeEncodedWords(latin, u"", u'B', u"ISO-8859-1"), kBreak);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].size(), 73u);
    EXPECT_EQ(words[1], u"=?ISO-8859-1?B?4+Pj4+Pj4+M=?=");
}

TEST(IdCoderHeader, TextThatAlreadyHoldsEncodedWordsIsEncodedAsTyped)
{
    const String typed = u"=?UTF-8?B?QQ==?=";
    ASSERT_EQ(DecodeEncodedWords(typed), u"A");
    const String encoded = MakeEncodedWords(typed, u"", u'B', u"UTF-8");
    EXPECT_EQ(encoded, u"=?UTF-8?B?PT9VVEYtOD9CP1FRPT0/PQ==?=");
    EXPECT_EQ(DecodeEncodedWords(encoded), typed);
    // Words without "=" stay plain even then.
    EXPECT_EQ(MakeEncodedWords(u"Nota " + typed, u"", u'Q', u"UTF-8"),
              u"Nota =?UTF-8?Q?=3D=3FUTF-8=3FB=3FQQ=3D=3D=3F=3D?=");
}

TEST(IdCoderHeader, EightBitAndUnknownHeaderEncodings)
{
    EXPECT_EQ(MakeEncodedWords(u"Março", u"", u'8', u"UTF-8"), u"Mar\u00C3\u00A7o");
    EXPECT_EQ(MakeEncodedWords(u"Março", u"", u'8', u"ISO-8859-1"), u"Março");
    EXPECT_EQ(MakeEncodedWords(u"Março", u"", u'x', u"UTF-8"), u"=?UTF-8?B?TWFyw6dv?=");
}

TEST(IdCoderHeader, LineBreaksTypedIntoTheTextStayInsideTheHeader)
{
    // A line break between plain words stays plain text; the header list turns what
    // follows it into a continuation line.
    const String subject = MakeEncodedWords(u"Março\r\nBcc: intruso@example.com", u"", u'B', u"UTF-8");
    EXPECT_EQ(subject, u"=?UTF-8?B?TWFyw6dv?=\r\nBcc: intruso@example.com");
    TIdHeaderList headers(TIdHeaderQuotingType::QuoteRFC822);
    headers.SetValue(u"Subject", subject);
    EXPECT_EQ(headers.IndexOfName(u"Bcc"), -1);
    // Inside a run the break is encoded with the words around it.
    EXPECT_EQ(MakeEncodedWords(u"São\r\nJoão", u"", u'Q', u"ISO-8859-1"), u"=?ISO-8859-1?Q?S=E3o=0D=0AJo=E3o?=");
}

TEST(IdCoderHeader, EncodedWordsFoldCleanlyInAHeaderList)
{
    const String sixty = Repeat(u"ç", 60);
    TIdHeaderList headers(TIdHeaderQuotingType::QuoteRFC822);
    headers.SetValue(u"Subject", u"Loja Centro - " + MakeEncodedWords(sixty, u"", u'B', u"UTF-8") + u" de 2026");
    ASSERT_GE(headers.Count(), 3);
    for (int i = 0; i < headers.Count(); ++i) {
        SCOPED_TRACE(ToUtf8(headers[i]));
        EXPECT_LE(headers[i].size(), 78u);
        if (i > 0) {
            EXPECT_EQ(headers[i][0], u' ');
            EXPECT_NE(headers[i][1], u' ');
        }
    }
    EXPECT_EQ(DecodeEncodedWords(headers.GetValue(u"Subject")), u"Loja Centro - " + sixty + u" de 2026");
}

TEST(IdCoderHeader, DecodeEncodedWords)
{
    EXPECT_EQ(DecodeEncodedWords(u"=?ISO-8859-1?Q?Mar=E7o?= de =?utf-8?b?MjAyNg==?="), u"Março de 2026");
    // White space between two encoded words is not part of the text.
    EXPECT_EQ(DecodeEncodedWords(u"=?UTF-8?B?U8Ojbw==?=\r\n =?UTF-8?Q?_Jo=C3=A3o?= x"), u"São João x");
    EXPECT_EQ(DecodeEncodedWords(u"=?ISO-8859-1?8?Mar\u00E7o?="), u"Março");
    EXPECT_EQ(DecodeEncodedWords(u"=?UTF-8*pt?Q?a_b?="), u"a b");
    // Things that are not encoded words stay as they are.
    for (const String& text : {String(u"=?x?z?abc?="), String(u"=?UTF-8?B?***?="), String(u"a=?UTF-8?B?QQ==?=b"),
                               String(u"=??B?QQ==?="), String(u"=?UTF-8?B?=?="), String(u"=?UTF-8?Q?a?b?="),
                               String(u"plain  text\t"), String(u"=?UTF-8?B?QQ==?")})
        EXPECT_EQ(DecodeEncodedWords(text), text) << ToUtf8(text);
}

// --- Header coders ---------------------------------------------------------------------

namespace {

// Takes a coder out of the process-wide registry for the test and puts it back
// at the end of the list, where it was.
class TCoderRemoved {
public:
    explicit TCoderRemoved(TIdHeaderCoderClass coder) : FCoder(coder) { UnregisterHeaderCoder(coder); }
    ~TCoderRemoved() { RegisterHeaderCoder(FCoder); }
    TCoderRemoved(const TCoderRemoved&) = delete;
    TCoderRemoved& operator=(const TCoderRemoved&) = delete;

private:
    TIdHeaderCoderClass FCoder;
};

TIdBytes Bytes(std::initializer_list<int> values)
{
    TIdBytes bytes;
    for (const int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

} // namespace

TEST(IdHeaderCoder, RegistryAsksTheLastRegisteredFirst)
{
    const TIdHeaderCoderClass plain = HeaderCoderClass<TIdHeaderCoderPlain>();
    const TIdHeaderCoderClass jp = HeaderCoderClass<TIdHeaderCoder2022JP>();
    const TIdHeaderCoderClass general = HeaderCoderClass<TIdHeaderCoderGeneral>();
    EXPECT_EQ(GHeaderCoderList().Count(), 3);
    EXPECT_EQ(GHeaderCoderList().ByCharSet(u"ISO-8859-1"), general);
    EXPECT_EQ(GHeaderCoderList().ByCharSet(u"no-such-charset"), general);
    RegisterHeaderCoder(plain);
    EXPECT_EQ(GHeaderCoderList().Count(), 3);

    const TCoderRemoved withoutGeneral(general);
    EXPECT_EQ(GHeaderCoderList().ByCharSet(u"iso-8859-1"), plain);
    EXPECT_EQ(GHeaderCoderList().ByCharSet(u"iso-2022-jp"), jp);
    EXPECT_EQ(GHeaderCoderList().ByCharSet(u"UTF-8"), nullptr);

    const TIdHeaderCoder base;
    EXPECT_FALSE(base.CanHandle(u"UTF-8"));
    EXPECT_TRUE(base.Encode(u"UTF-8", u"a").empty());
    EXPECT_EQ(base.Decode(u"UTF-8", Bytes({'a'})), u"");
}

TEST(IdHeaderCoder, WithoutACoderTheHookEncodesOrTheCallFails)
{
    const TCoderRemoved withoutGeneral(HeaderCoderClass<TIdHeaderCoderGeneral>());
    try {
        HeaderTextToCharsetBytes(u"UTF-8", u"Março");
        FAIL() << "no coder handles UTF-8";
    } catch (const EIdHeaderEncodeError& e) {
        EXPECT_EQ(e.Message(), u"Could not encode header data using charset \"UTF-8\"");
    }

    String seenCharSet;
    SetHeaderEncodingNeeded([&](const String& charSet, const String& data, TIdBytes& bytes, bool& encoded) {
        seenCharSet = charSet;
        if (data == u"ok") {
            bytes = Bytes({'O', 'K'});
            encoded = true;
        }
    });
    EXPECT_EQ(HeaderTextToCharsetBytes(u"UTF-8", u"ok"), Bytes({'O', 'K'}));
    EXPECT_EQ(seenCharSet, u"UTF-8");
    EXPECT_THROW(HeaderTextToCharsetBytes(u"UTF-8", u"not ok"), EIdHeaderEncodeError);
    EXPECT_THROW(MakeEncodedWords(u"Março", u"", u'B', u"UTF-8"), EIdHeaderEncodeError);
    SetHeaderEncodingNeeded(nullptr);
}

TEST(IdHeaderCoder, WordsHoldWholeCharactersOfAnyCharset)
{
    // A charset of two bytes per character (here through the hook): a B word takes 22
    // characters (44 bytes, one "=" of padding) rather than 45 bytes.
    const TCoderRemoved withoutGeneral(HeaderCoderClass<TIdHeaderCoderGeneral>());
    SetHeaderEncodingNeeded([](const String&, const String& data, TIdBytes& bytes, bool& encoded) {
        for (const char16_t c : data) {
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        }
        encoded = true;
    });
    const std::vector<String> words = SplitAt(MakeEncodedWords(Repeat(u"ç", 30), u"", u'B', u"x-2bytes"), kBreak);
    SetHeaderEncodingNeeded(nullptr);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0], u"=?x-2bytes?B?" + Repeat(u"AOcA5wDn", 7) + u"AOc=?=");
    EXPECT_EQ(words[1], u"=?x-2bytes?B?" + Repeat(u"AOcA5wDn", 2) + u"AOcA5w==?=");
}

TEST(IdHeaderCoder, PlainCoder)
{
    const TIdHeaderCoderPlain plain;
    for (const char16_t* name : {u"iso-8859-1", u"ISO-8859-15", u"ISO-2022-KR", u"windows-1252", u"koi8-r",
                                 u"GB2312", u"us-ascii"})
        EXPECT_TRUE(plain.CanHandle(name)) << ToUtf8(name);
    for (const char16_t* name : {u"ISO-2022-JP", u"iso-2022-jp", u"UTF-8", u"ASCII", u"Big5", u""})
        EXPECT_FALSE(plain.CanHandle(name)) << ToUtf8(name);
    EXPECT_EQ(plain.Encode(u"ISO-8859-1", u"Março€"), Bytes({0x4D, 0x61, 0x72, 0xE7, 0x6F, '?'}));
    EXPECT_EQ(plain.Decode(u"ISO-8859-1", Bytes({0x4D, 0xE7})), u"Mç");
}

TEST(IdHeaderCoder, GeneralCoderUsesTheCharsetsTextEncoding)
{
    const TIdHeaderCoderGeneral general;
    EXPECT_TRUE(general.CanHandle(u"UTF-8"));
    EXPECT_TRUE(general.CanHandle(u"x-unknown"));
    EXPECT_EQ(general.Encode(u"utf-8", u"ç"), Bytes({0xC3, 0xA7}));
    EXPECT_EQ(general.Encode(u"ISO-8859-1", u"ç€"), Bytes({0xE7, '?'}));
    EXPECT_EQ(general.Encode(u"x-unknown", u"ç"), Bytes({0xE7}));
    EXPECT_EQ(general.Decode(u"UTF-8", Bytes({0xC3, 0xA7})), u"ç");
    EXPECT_EQ(HeaderTextToCharsetBytes(u"UTF-8", u"Março"), Bytes({0x4D, 0x61, 0x72, 0xC3, 0xA7, 0x6F}));
}

TEST(IdHeaderCoder, Iso2022JPCoder)
{
    if (!orvant::platform::FindCodePage(50220))
        GTEST_SKIP() << "this system has no ISO-2022-JP converter (Wine lacks code page 50220)";
    const TIdHeaderCoder2022JP jp;
    EXPECT_TRUE(jp.CanHandle(u"iso-2022-JP"));
    EXPECT_FALSE(jp.CanHandle(u"ISO-2022-JP-2"));
    const TIdBytes nihongo = Bytes({0x1B, 0x24, 0x42, 0x46, 0x7C, 0x4B, 0x5C, 0x38, 0x6C, 0x1B, 0x28, 0x42});
    EXPECT_EQ(jp.Encode(u"ISO-2022-JP", u"日本語"), nihongo);
    EXPECT_EQ(jp.Decode(u"ISO-2022-JP", nihongo), u"日本語");
    EXPECT_EQ(jp.Encode(u"ISO-2022-JP", u"a日b"),
              Bytes({'a', 0x1B, 0x24, 0x42, 0x46, 0x7C, 0x1B, 0x28, 0x42, 'b'}));
    // Half-width katakana become full-width, a sound mark joining its letter.
    EXPECT_EQ(jp.Encode(u"ISO-2022-JP", u"\uFF76\uFF9E"), Bytes({0x1B, 0x24, 0x42, 0x25, 0x2C, 0x1B, 0x28, 0x42}));
    EXPECT_EQ(jp.Decode(u"ISO-2022-JP", jp.Encode(u"ISO-2022-JP", u"\uFF8A\uFF9F\uFF9D")), u"パン");
    // What ISO-2022-JP lacks becomes "?", written in ASCII mode.
    EXPECT_EQ(jp.Encode(u"ISO-2022-JP", u"日é"), Bytes({0x1B, 0x24, 0x42, 0x46, 0x7C, 0x1B, 0x28, 0x42, '?'}));
    EXPECT_EQ(jp.Encode(u"ISO-2022-JP", u"\U0001F600"), Bytes({'?'}));
}

// --- Default charset by locale ------------------------------------------------------------

TEST(IdCoderHeader, DefaultCharSetFollowsTheUsersLanguage)
{
    EXPECT_EQ(DefaultCharSetForLocale("pt_BR"), u"UTF-8");
    EXPECT_EQ(DefaultCharSetForLocale("pt_BR.UTF-8"), u"UTF-8");
    EXPECT_EQ(DefaultCharSetForLocale("zh_CN.GB2312"), u"GB2312");
    EXPECT_EQ(DefaultCharSetForLocale("zh_TW.UTF-8"), u"Big5");
    EXPECT_EQ(DefaultCharSetForLocale("zh_SG"), u"Big5");
    EXPECT_EQ(DefaultCharSetForLocale("ja_JP.UTF-8"), u"ISO-2022-JP");
    EXPECT_EQ(DefaultCharSetForLocale("ko_KR.EUC-KR"), u"csEUCKR");
    EXPECT_EQ(DefaultCharSetForLocale("ru_RU.KOI8-R"), u"KOI8-R");
    EXPECT_EQ(DefaultCharSetForLocale("uk_UA@euro"), u"windows-1251");
    EXPECT_EQ(DefaultCharSetForLocale("C"), u"UTF-8");
    EXPECT_EQ(DefaultCharSetForLocale(""), u"UTF-8");

    EXPECT_EQ(DefaultCharSetForLocale(), DefaultCharSetForLocale(orvant::platform::UserLocaleName()));
}
