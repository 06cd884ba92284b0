#include "platform/WinPath.h"

#include "platform/CaseFold.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using orvant::platform::MatchesWildcard;
using orvant::platform::TWinPathMapper;

namespace {

class WinPathMapping : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        GTEST_SKIP() << "on Windows drive and UNC paths are real: nothing maps them to folders";
#endif
    }

    orvant::test::TTempDir FDir;
    std::string C = FDir.Str() + "/c";
    std::string Net = FDir.Str() + "/unc";
    TWinPathMapper FMapper {{C, Net}};
};

} // namespace

TEST_F(WinPathMapping, DriveAndUncPathsMapBelowTheirRoots)
{
    EXPECT_EQ(FMapper.Map(u"C:\\Kelmora\\Server\\Orvant.ini"), C + "/Kelmora/Server/Orvant.ini");
    EXPECT_EQ(FMapper.Map(u"c:/Kelmora/x"), C + "/Kelmora/x");
    EXPECT_EQ(FMapper.Map(u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103"),
              Net + "/CAIXA01/Kelmora/PDV/NFCE/Transmitidas/202103");
    EXPECT_EQ(FMapper.Map(u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\\Transmitidas\\"),
              C + "/Kelmora/Orvant/Arquivos/2021/03/PDV1/Transmitidas/"); // trailing separator kept
    EXPECT_EQ(FMapper.Map(u"C:\\"), C + "/");
    EXPECT_EQ(FMapper.Map(u"C:\\a\\\\b\\.\\c"), C + "/a/b/c");
    EXPECT_EQ(FMapper.Map(u"C:\\Mar\u00e7o"), C + "/Mar\xC3\xA7o");
}

TEST_F(WinPathMapping, TextThatIsNoDriveCOrShareDoesNotMap)
{
    for (std::u16string_view bad : {u"", u"relative\\x", u"D:\\x", u"C:relative", u"\\\\", u"\\\\HOST",
                                    u"\\\\HOST\\", u"\\\\\\Kelmora\\PDV", u"\\\\?\\C:\\x", u"\\\\.\\pipe\\x",
                                    u"C:\\a\\b*.xml", u"C:\\a\\b?", u"C:\\a|b", u"C:\\a\\x:y"}) {
        EXPECT_FALSE(FMapper.Map(bad).has_value()) << std::string(bad.begin(), bad.end());
    }
}

TEST_F(WinPathMapping, DotDotNeverLeavesTheDriveOrTheShare)
{
    EXPECT_EQ(FMapper.Map(u"C:\\a\\b\\..\\c"), C + "/a/c");
    EXPECT_FALSE(FMapper.Map(u"C:\\..\\etc\\passwd").has_value());
    EXPECT_FALSE(FMapper.Map(u"C:\\a\\..\\..\\x").has_value());
    EXPECT_EQ(FMapper.Map(u"\\\\H\\S\\a\\..\\b"), Net + "/H/S/b");
    EXPECT_FALSE(FMapper.Map(u"\\\\H\\S\\..\\T\\x").has_value()); // not into another share
    EXPECT_FALSE(FMapper.Map(u"\\\\..\\S\\x").has_value());
    EXPECT_FALSE(FMapper.Map(u"\\\\H\\..\\x").has_value());
    // A computer name read from the configuration cannot smuggle ".." in either.
    EXPECT_FALSE(FMapper.Map(u"\\\\CAIXA01\\..\\..\\Kelmora\\PDV").has_value());
}

TEST_F(WinPathMapping, ExistingComponentsResolveWithoutRegardToCase)
{
    FDir.MakeDir("c/Kelmora/SERVER");
    FDir.WriteFile("c/Kelmora/SERVER/orvant.INI", "x");
    FDir.MakeDir("unc/caixa01/KELMORA/pdv/NFCe/Transmitidas/202103");
    EXPECT_EQ(FMapper.Map(u"C:\\KELMORA\\Server\\Orvant.ini"), C + "/Kelmora/SERVER/orvant.INI");
    EXPECT_EQ(FMapper.Map(u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103\\"),
              Net + "/caixa01/KELMORA/pdv/NFCe/Transmitidas/202103/");
    // Below the first missing component the text is kept as given.
    EXPECT_EQ(FMapper.Map(u"C:\\kelmora\\Novo\\Sub"), C + "/Kelmora/Novo/Sub");
    // The exact case wins when both exist.
    FDir.MakeDir("c/Kelmora/Server");
    EXPECT_EQ(TWinPathMapper({C, Net}).Map(u"C:\\Kelmora\\Server"), C + "/Kelmora/Server");
}

TEST_F(WinPathMapping, FilesCreatedDuringARunAreFoundInAnyCase)
{
    FDir.MakeDir("c/Out");
    EXPECT_EQ(FMapper.Map(u"C:\\Out\\a.xml"), C + "/Out/a.xml"); // lists Out while it is empty
    FDir.WriteFile("c/Out/a.xml", "1");
    FMapper.NoteCreated(C + "/Out", "a.xml");
    EXPECT_EQ(FMapper.Map(u"C:\\OUT\\A.XML"), C + "/Out/a.xml");
}

TEST(Wildcard, MatchesLikeTheWindowsFileSearch)
{
    EXPECT_TRUE(MatchesWildcard(u"*.xml", u"nota.xml"));
    EXPECT_TRUE(MatchesWildcard(u"*.xml", u"NOTA.XML"));
    EXPECT_TRUE(MatchesWildcard(u"*.xml", u".xml"));
    EXPECT_TRUE(MatchesWildcard(u"*.xml", u"a.b.xml"));
    EXPECT_FALSE(MatchesWildcard(u"*.xml", u"nota.xml.bak"));
    EXPECT_FALSE(MatchesWildcard(u"*.xml", u"notaxml"));
    EXPECT_TRUE(MatchesWildcard(u"*.*", u"semponto"));
    EXPECT_TRUE(MatchesWildcard(u"n?ta*", u"NOTA1"));
    EXPECT_FALSE(MatchesWildcard(u"n?ta", u"nta"));
    EXPECT_TRUE(MatchesWildcard(u"MAR\u00c7O*", u"mar\u00e7o.txt"));
    EXPECT_FALSE(MatchesWildcard(u"*a*a*a*a*a*a*b", std::u16string(60, u'a')));
}
