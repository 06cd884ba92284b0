#include "mime/IdCharsetTable.h"
#include "mime/IdTextEncoding.h"
#include "smtp/IdException.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TIdBytes B(std::initializer_list<int> bytes)
{
    TIdBytes out;
    for (int b : bytes)
        out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TIdBytes Raw(std::string_view bytes)
{
    return TIdBytes(bytes.begin(), bytes.end());
}

} // namespace

TEST(IdTextEncoding, CharsetNamesFindTheSharedUtf8InstanceWhateverTheirCase)
{
    const IIdTextEncodingPtr utf8 = IndyTextEncoding_UTF8();
    for (const char16_t* name : {u"utf-8", u"UTF-8", u"Utf-8"})
        EXPECT_EQ(TextEncodingForCharset(name), utf8) << ToUtf8(name);
    EXPECT_EQ(utf8->GetBytes(u"Março"), Raw("Mar\xC3\xA7o"));
}

TEST(IdTextEncoding, Latin1CharsetWritesOneByteForEachLetter)
{
    EXPECT_EQ(CodePageForCharset(u"iso-8859-1"), 28591u);
    const IIdTextEncodingPtr latin1 = TextEncodingForCharset(u"iso-8859-1");
    const auto* mbcs = dynamic_cast<const TIdMBCSEncoding*>(latin1.get());
    ASSERT_NE(mbcs, nullptr);
    EXPECT_EQ(mbcs->CodePage(), 28591u);
    EXPECT_TRUE(latin1->IsSingleByte());
    EXPECT_EQ(latin1->GetBytes(u"Março"), B({0x4D, 0x61, 0x72, 0xE7, 0x6F}));
    EXPECT_EQ(latin1->GetBytes(u"10 €"), Raw("10 ?"));
    EXPECT_EQ(latin1->GetString(B({0x4D, 0x61, 0x72, 0xE7, 0x6F})), u"Março");
}

TEST(IdTextEncoding, UnknownOrEmptyCharsetFallsBackToEightBit)
{
    const IIdTextEncodingPtr eightBit = IndyTextEncoding_8Bit();
    for (const char16_t* name : {u"x-unknown", u"", u"utf8 ", u"ISO-8859-1;"})
        EXPECT_EQ(TextEncodingForCharset(name), eightBit) << ToUtf8(name);
    EXPECT_EQ(CodePageForCharset(u""), 0u);
    EXPECT_EQ(eightBit->GetBytes(u"ç€"), B({0xE7, '?'}));
    EXPECT_EQ(eightBit->GetString(B({0xE7})), u"ç");
}

TEST(IdTextEncoding, RegisteredCharsetWithoutSystemConversionFallsBackToEightBit)
{
    // Registered with a Windows code page that glibc does not offer.
    EXPECT_EQ(CodePageForCharset(u"HZ-GB-2312"), 52936u);
    EXPECT_EQ(TextEncodingForCharset(u"HZ-GB-2312"), IndyTextEncoding_8Bit());
    // Registered without any code page.
    EXPECT_EQ(TextEncodingForCharset(u"TIS-620"), IndyTextEncoding_8Bit());
}

TEST(IdTextEncoding, AsciiAndEightBitRules)
{
    const IIdTextEncodingPtr ascii = IndyTextEncoding_ASCII();
    EXPECT_EQ(ascii->GetBytes(u"Março"), B({0x4D, 0x61, 0x72, 0x3F, 0x6F}));
    EXPECT_EQ(ascii->GetString(B({'a', 0xE7})), u"a\uFFFD");
    EXPECT_EQ(IndyTextEncoding_8Bit()->GetString(B({0xE7})), u"\u00E7");
    EXPECT_TRUE(ascii->IsSingleByte());
    EXPECT_EQ(ascii->MaxCharSize(), 1);
}

TEST(IdTextEncoding, CharsetTableHoldsTheRowsTheProgramRelies)
{
    const struct {
        const char16_t* Name;
        std::uint32_t CodePage;
    } rows[] = {
        {u"US-ASCII", 20127},     {u"ANSI_X3.4-1968", 20127}, {u"ISO-8859-1", 28591},
        {u"ISO_8859-1", 28591},   {u"latin1", 28591},         {u"l1", 28591},
        {u"csISOLatin1", 28591},  {u"ISO-8859-2", 28592},     {u"ISO-8859-5", 28595},
        {u"ISO-8859-15", 28605},  {u"windows-1250", 1250},    {u"windows-1251", 1251},
        {u"windows-1252", 1252},  {u"KOI8-R", 20866},         {u"KOI8-U", 21866},
        {u"IBM437", 437},         {u"IBM850", 850},           {u"macintosh", 10000},
        {u"Shift_JIS", 932},      {u"EUC-JP", 20932},         {u"ISO-2022-JP", 50220},
        {u"EUC-KR", 51949},       {u"csEUCKR", 51949},        {u"KS_C_5601-1987", 949},
        {u"ISO-2022-KR", 50225},  {u"GB2312", 936},           {u"GBK", 936},
        {u"GB18030", 54936},      {u"Big5", 950},             {u"UTF-8", 65001},
        {u"UTF-7", 65000},        {u"UTF-16", 1200},          {u"UTF-16LE", 1200},
        {u"UTF-16BE", 1201},      {u"UTF-32", 12000},         {u"UNICODE-1-1", 0},
        {u"ISO-10646-UCS-2", 0},  {u"Big5-HKSCS", 0},         {u"TIS-620", 0},
        {u"ibm737", 737},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CodePageForCharset(row.Name), row.CodePage) << ToUtf8(row.Name);
        EXPECT_EQ(CodePageForCharset(UpperCase(row.Name)), row.CodePage) << ToUtf8(row.Name);
    }

    const auto table = IdCharsetTable();
    EXPECT_STREQ(table.front().Name, "US-ASCII");
    EXPECT_STREQ(table.back().Name, "ibm737");
    std::set<std::string> seen;
    for (const TIdCharsetRow& row : table) {
        std::string lower = row.Name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(seen.insert(lower).second) << row.Name << " appears twice";
    }
}

TEST(IdTextEncoding, EveryCharsetWithACodePageConvertsOrFallsBack)
{
    // The code pages of the table that glibc lacks; every other one must convert.
#ifdef _WIN32
    GTEST_SKIP() << "the code pages a system lacks are its own: this list is glibc's";
#endif
    const std::set<std::uint32_t> unavailable = {20838, 20924, 52936};
    std::set<std::uint32_t> missing;
    for (const TIdCharsetRow& row : IdCharsetTable()) {
        if (row.CodePage == 0)
            continue;
        const IIdTextEncodingPtr encoding = TextEncodingForCharset(FromUtf8(row.Name));
        if (encoding == IndyTextEncoding_8Bit())
            missing.insert(row.CodePage);
        else
            EXPECT_EQ(encoding->GetString(encoding->GetBytes(u"ORVANT 2026")), u"ORVANT 2026") << row.Name;
    }
    EXPECT_EQ(missing, unavailable);
}

TEST(IdTextEncoding, CodePageNumbersGiveTheSharedInstancesOrANewCodePage)
{
    EXPECT_EQ(IndyTextEncoding(1200u), IndyTextEncoding_UTF16LE());
    EXPECT_EQ(IndyTextEncoding(1201u), IndyTextEncoding_UTF16BE());
    EXPECT_EQ(IndyTextEncoding(20127u), IndyTextEncoding_ASCII());
    EXPECT_EQ(IndyTextEncoding(65000u), IndyTextEncoding_UTF7());
    EXPECT_EQ(IndyTextEncoding(65001u), IndyTextEncoding_UTF8());
    const IIdTextEncodingPtr a = IndyTextEncoding(1252u);
    EXPECT_NE(a, IndyTextEncoding(1252u));
    EXPECT_EQ(a->GetBytes(u"€"), B({0x80}));

    try {
        IndyTextEncoding(12345u);
        FAIL() << "no exception";
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), u"Invalid codepage (12345)");
    }
    EXPECT_THROW(TIdMBCSEncoding(20838), EIdException); // registered, but glibc lacks it
}

TEST(IdTextEncoding, UsAsciiCodePageConvertsThroughTheSystemToo)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows' converter for code page 20127 strips the eighth bit instead of replacing the byte";
#endif
    const TIdMBCSEncoding mbcs(20127);
    EXPECT_EQ(mbcs.CodePage(), 20127u);
    const IIdTextEncoding& ascii = mbcs;
    EXPECT_EQ(ascii.GetBytes(u"Março"), Raw("Mar?o"));
    EXPECT_EQ(ascii.GetString(B({'a', 0xE7, 'b'})), u"a\uFFFDb");
}

TEST(IdTextEncoding, CodePagesReplaceWhatTheyCannotHold)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows' converters put a look-alike (best fit) where glibc puts \"?\"";
#endif
    // KOI8-R has Cyrillic but no "ç"; a character outside the BMP is one "?", and a
    // lone surrogate is one "?" too.
    const IIdTextEncodingPtr koi8 = TextEncodingForCharset(u"KOI8-R");
    EXPECT_EQ(koi8->GetBytes(u"Дом ç"), B({0xE4, 0xCF, 0xCD, ' ', '?'}));
    EXPECT_EQ(koi8->GetBytes(u"a\U0001F600b"), Raw("a?b"));
    EXPECT_EQ(koi8->GetBytes(String(u"a") + char16_t(0xD800) + u"b"), Raw("a?b"));
    EXPECT_EQ(koi8->GetBytes(String(u"a") + char16_t(0xD800)), Raw("a?"));

    // Shift_JIS: two bytes a character; a lead byte cut off at the end decodes to U+FFFD.
    const IIdTextEncodingPtr sjis = TextEncodingForCharset(u"Shift_JIS");
    EXPECT_FALSE(sjis->IsSingleByte());
    EXPECT_EQ(sjis->MaxCharSize(), 2);
    EXPECT_EQ(sjis->GetBytes(u"日本"), B({0x93, 0xFA, 0x96, 0x7B}));
    EXPECT_EQ(sjis->GetString(B({0x93, 0xFA, 0x96})), u"日\uFFFD");
    EXPECT_EQ(sjis->GetCharCount(B({0x93, 0xFA, 0x96, 0x7B}).data(), 4), 2u);
}

TEST(IdTextEncoding, ShiftStatesSurviveAReplacedCharacter)
{
#ifdef _WIN32
    GTEST_SKIP() << "ISO-2022-JP's replacement follows the system's converter (Wine has none)";
#endif
    // ISO-2022-JP switches to JIS X 0208 and back; the "?" for "ç" must be written
    // in ASCII mode, and the text must end in ASCII mode.
    const IIdTextEncodingPtr jis = TextEncodingForCharset(u"ISO-2022-JP");
    EXPECT_EQ(jis->GetBytes(u"日ç本"), Raw("\x1B$BF|\x1B(B?\x1B$BK\\\x1B(B"));
    EXPECT_EQ(jis->GetString(Raw("\x1B$BF|\x1B(B?\x1B$BK\\\x1B(B")), u"日?本");
}

TEST(IdTextEncoding, UnicodeFormsAndTheirByteOrderMarks)
{
    EXPECT_EQ(IndyTextEncoding_UTF16LE()->GetBytes(u"ç"), B({0xE7, 0x00}));
    EXPECT_EQ(IndyTextEncoding_UTF16BE()->GetBytes(u"ç"), B({0x00, 0xE7}));
    EXPECT_EQ(IndyTextEncoding_UTF16LE()->GetPreamble(), B({0xFF, 0xFE}));
    EXPECT_EQ(IndyTextEncoding_UTF16BE()->GetPreamble(), B({0xFE, 0xFF}));
    EXPECT_EQ(IndyTextEncoding_UTF8()->GetPreamble(), B({0xEF, 0xBB, 0xBF}));
    EXPECT_EQ(IndyTextEncoding_UTF16BE()->GetString(B({0x00, 0xE7, 0xD8, 0x3D, 0xDE, 0x00})), u"ç\U0001F600");

    // The same forms through code page objects.
    EXPECT_EQ(TIdMBCSEncoding(65001).GetPreamble(), B({0xEF, 0xBB, 0xBF}));
    EXPECT_EQ(TIdMBCSEncoding(1201).GetPreamble(), B({0xFE, 0xFF}));
    EXPECT_EQ(TIdMBCSEncoding(28591).GetPreamble(), TIdBytes());
    const TIdMBCSEncoding utf8(65001);
    EXPECT_EQ(static_cast<const IIdTextEncoding&>(utf8).GetString(B({'a', 0xFF, 'b'})), u"a\uFFFDb");
    EXPECT_EQ(TextEncodingForCharset(u"UTF-32")->GetBytes(u"A"), B({'A', 0, 0, 0}));

    // UTF-7 keeps its shared instance and has no byte order mark.
    const IIdTextEncodingPtr utf7 = IndyTextEncoding_UTF7();
    EXPECT_EQ(TextEncodingForCharset(u"utf-7"), utf7);
    EXPECT_NE(dynamic_cast<const TIdUTF7Encoding*>(utf7.get()), nullptr);
    EXPECT_EQ(utf7->GetBytes(u"Março"), Raw("Mar+AOc-o"));
    EXPECT_EQ(utf7->GetString(Raw("Mar+AOc-o")), u"Março");
    EXPECT_TRUE(utf7->GetPreamble().empty());
}

TEST(IdTextEncoding, Utf8HandlesSurrogatesAndBadBytes)
{
    const IIdTextEncodingPtr utf8 = IndyTextEncoding_UTF8();
    EXPECT_EQ(utf8->GetBytes(u"\U0001F600"), B({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(utf8->GetBytes(String(1, char16_t(0xDC00))), B({0xEF, 0xBF, 0xBD}));
    EXPECT_EQ(utf8->GetString(B({0xF0, 0x9F, 0x98, 0x80})), u"\U0001F600");
    EXPECT_EQ(utf8->GetString(B({0xC0, 0xAF})), u"\uFFFD"); // overlong "/"
    EXPECT_EQ(utf8->GetString(B({0xE2, 0x82})), u"\uFFFD");
    EXPECT_EQ(utf8->GetMaxByteCount(2), 9u);
}

TEST(IdTextEncoding, SystemDefaultIsACodePageObjectForCodePageZero)
{
    const IIdTextEncodingPtr os = IndyTextEncoding_OSDefault();
    EXPECT_EQ(os, IndyTextEncoding_OSDefault());
    EXPECT_EQ(os, IndyTextEncoding(TIdTextEncodingType::encOSDefault));
    const auto* mbcs = dynamic_cast<const TIdMBCSEncoding*>(os.get());
    ASSERT_NE(mbcs, nullptr);
    EXPECT_EQ(mbcs->CodePage(), 0u);
    EXPECT_EQ(os->GetString(os->GetBytes(u"Orvant")), u"Orvant");
}

TEST(IdTextEncoding, DefaultKindIsAsciiUnlessChanged)
{
    EXPECT_EQ(IndyTextEncoding_Default(), IndyTextEncoding_ASCII());
    SetGIdDefaultTextEncoding(TIdTextEncodingType::encUTF8);
    EXPECT_EQ(IndyTextEncoding_Default(), IndyTextEncoding_UTF8());
    EXPECT_EQ(EnsureEncoding(nullptr), IndyTextEncoding_UTF8());
    SetGIdDefaultTextEncoding(TIdTextEncodingType::encIndyDefault);
    EXPECT_EQ(GIdDefaultTextEncoding(), TIdTextEncodingType::encASCII);
    EXPECT_EQ(EnsureEncoding(nullptr, TIdTextEncodingType::enc8Bit), IndyTextEncoding_8Bit());
    const IIdTextEncodingPtr mine = std::make_shared<TId8BitEncoding>();
    EXPECT_EQ(EnsureEncoding(mine), mine);
}

TEST(IdTextEncoding, CharsetHookIsAskedFirstAndMayDecline)
{
    SetCharsetEncodingHook([](StringView charset) -> IIdTextEncodingPtr {
        return TextIsSame(charset, u"x-orvant") ? IndyTextEncoding_UTF16LE() : nullptr;
    });
    EXPECT_EQ(TextEncodingForCharset(u"X-Orvant"), IndyTextEncoding_UTF16LE());
    EXPECT_EQ(TextEncodingForCharset(u"utf-8"), IndyTextEncoding_UTF8());
    EXPECT_EQ(TextEncodingForCharset(u""), IndyTextEncoding_8Bit());
    SetCharsetEncodingHook(nullptr);
    EXPECT_EQ(TextEncodingForCharset(u"X-Orvant"), IndyTextEncoding_8Bit());
}

TEST(IdTextEncoding, SharedInstancesAreOnePerKindAcrossThreads)
{
    std::vector<const IIdTextEncoding*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = IndyTextEncoding_UTF7().get(); });
    for (std::thread& t : threads)
        t.join();
    for (const IIdTextEncoding* p : seen)
        EXPECT_EQ(p, IndyTextEncoding_UTF7().get());
}
