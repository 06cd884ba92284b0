#include "platform/IniFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using orvant::platform::DecodeTextFile;
using orvant::platform::TIniFile;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TIniFile FromUtf8(const std::string& text)
{
    return TIniFile::FromText(DecodeTextFile(Bytes(text)));
}

} // namespace

TEST(IniFile, NamesMatchWithoutRegardToCaseAndValuesAreTrimmedAndUnquoted)
{
    const TIniFile ini = FromUtf8(
        "[pdv]\r\n"
        "  pdv1 =  TRUE  \r\n"
        "PDV2=\"TRUE\"\r\n"
        "PDV3='TRUE'\r\n"
        "PDV4=\"TRUE'\r\n"       // quotes that do not pair stay
        "PDV5=\" TRUE \"\r\n"     // the blanks inside the quotes stay
        "PDV6=\"\"TRUE\"\"\r\n"   // only one pair is dropped
        "PDV7=a=b\r\n");          // the first '=' separates
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV1"), u"TRUE");
    EXPECT_EQ(ini.ReadString(u"Pdv", u"pDv2"), u"TRUE");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV3"), u"TRUE");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV4"), u"\"TRUE'");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV5"), u" TRUE ");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV6"), u"\"TRUE\"");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV7"), u"a=b");
}

TEST(IniFile, MissingSectionKeyOrFileReadAsTheDefault)
{
    const TIniFile ini = FromUtf8("PDV1=TRUE\n[Outra]\nPDV1=TRUE\n[PDV]\n;PDV2=TRUE\nPDV3\n");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV1"), u""); // only in another section and before any
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV2"), u""); // commented out
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV3"), u""); // a name without '='
    EXPECT_EQ(ini.ReadString(u"Nada", u"PDV1", u"x"), u"x");

    orvant::test::TTempDir dir;
    const TIniFile missing = TIniFile::Load((dir.Path() / "nao-existe.ini").string());
    EXPECT_FALSE(missing.HasSection(u"PDV"));
    EXPECT_EQ(missing.ReadString(u"PDV", u"PDV1"), u"");
}

TEST(IniFile, FirstSectionAndFirstKeyWin)
{
    const TIniFile ini = FromUtf8("[PDV]\nPDV1=FALSE\npdv1=TRUE\n[PDV]\nPDV2=TRUE\n");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV1"), u"FALSE");
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV2"), u"");
}

TEST(IniFile, LongValuesAreCutTo2047Characters)
{
    const TIniFile ini = FromUtf8("[S]\nK=" + std::string(3000, 'x') + "\nQ=\"" + std::string(2047, 'y') + "z\"\n");
    EXPECT_EQ(ini.ReadString(u"S", u"K"), std::u16string(2047, u'x'));
    EXPECT_EQ(ini.ReadString(u"S", u"Q"), std::u16string(2047, u'y'));
}

TEST(IniFile, ReadsUtf8Utf16AndWindows1252Files)
{
    const std::u16string expected = u"Março São João";
    // UTF-8 with and without BOM.
    EXPECT_EQ(FromUtf8("[S]\nK=Março São João\n").ReadString(u"S", u"K"), expected);
    EXPECT_EQ(FromUtf8("\xEF\xBB\xBF[S]\nK=Março São João\n").ReadString(u"S", u"K"), expected);
    // Windows-1252: ç = E7, ã = E3, € = 80.
    EXPECT_EQ(TIniFile::FromText(DecodeTextFile(Bytes("[S]\r\nK=Mar\xE7o S\xE3o Jo\xE3o\r\nE=\x80\r\n")))
                  .ReadString(u"S", u"K"), expected);
    EXPECT_EQ(TIniFile::FromText(DecodeTextFile(Bytes("[S]\r\nE=\x80\x8D\r\n"))).ReadString(u"S", u"E"),
              u"\u20AC\u008D");
    // UTF-16 little and big endian with BOM.
    std::vector<std::uint8_t> le {0xFF, 0xFE}, be {0xFE, 0xFF};
    for (char16_t c : std::u16string(u"[S]\r\nK=Março São João\r\n")) {
        le.push_back(c & 0xFF); le.push_back(c >> 8);
        be.push_back(c >> 8); be.push_back(c & 0xFF);
    }
    EXPECT_EQ(TIniFile::FromText(DecodeTextFile(le)).ReadString(u"s", u"k"), expected);
    EXPECT_EQ(TIniFile::FromText(DecodeTextFile(be)).ReadString(u"s", u"k"), expected);
}

TEST(IniFile, LoadsAFileFromDisk)
{
    orvant::test::TTempDir dir;
    const auto path = dir.WriteFile("Orvant.ini", "[PDV]\r\nPDV1=TRUE\r\nPDV1_COMPUTADOR=CAIXA01");
    const TIniFile ini = TIniFile::Load(path.string());
    EXPECT_EQ(ini.ReadString(u"PDV", u"PDV1_COMPUTADOR"), u"CAIXA01"); // last line without line end
    EXPECT_TRUE(ini.HasSection(u"pdv"));
}
