#include "platform/DeploymentConfig.h"

#include "support/TestEnvironment.h"
#include "platform/Utf.h"

#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>

using orvant::platform::LoadDeploymentConfig;
using orvant::platform::LoadDeploymentConfigFile;

TEST(DeploymentConfig, AMissingFileOrKeyGivesTheDefaults)
{
    orvant::test::TTempDir dir;
    const auto none = LoadDeploymentConfigFile(dir.Str() + "/nada.conf");
    EXPECT_FALSE(none.FileFound);
    EXPECT_EQ(none.Roots.DriveC, "/var/lib/orvant/drive_c");
    EXPECT_EQ(none.Roots.Network, "/var/lib/orvant/unc");
    EXPECT_EQ(none.MailPort, 465);
    EXPECT_TRUE(none.MailHost.empty());

    const auto path = dir.WriteFile("p.conf", "[Mail]\nHost=h\n");
    const auto partial = LoadDeploymentConfigFile(path.string());
    EXPECT_TRUE(partial.FileFound);
    EXPECT_EQ(partial.MailPort, 465);
    EXPECT_FALSE(partial.MaxMessageSize);
    EXPECT_EQ(partial.Roots.DriveC, "/var/lib/orvant/drive_c");
    EXPECT_TRUE(partial.Problems.empty());
}

// A value that cannot be used is named, with the file, the section and the key,
// instead of quietly becoming the default.
TEST(DeploymentConfig, AValueThatCannotBeUsedIsNamedNotReplaced)
{
    orvant::test::TTempDir dir;
    for (const char* port : {"abc", "0", "70000", "-465", "465x", "99999999999999999999"}) {
        const auto path = dir.WriteFile("p.conf", std::string("[Mail]\nPort=") + port + "   ; porta\n");
        const auto c = LoadDeploymentConfigFile(path.string());
        ASSERT_EQ(c.Problems.size(), 1u) << port;
        EXPECT_EQ(c.Problems[0], u"O valor \"" + orvant::platform::Utf8ToUtf16(port) + u"\" de Port na seção [Mail] de "
                                     + orvant::platform::Utf8ToUtf16(path.string())
                                     + u" não pode ser usado: a porta é um número de 1 a 65535 (o servidor de e-mail "
                                       u"usa 465).");
    }
    const auto path = dir.WriteFile("q.conf", "[Mail]\nPort=2465\nMaxMessageSize=10MB\nCAFile=nao-existe.pem\n"
                                              "[Archiver]\nTimeLimit=0\n");
    const auto c = LoadDeploymentConfigFile(path.string());
    ASSERT_EQ(c.Problems.size(), 3u);
    EXPECT_NE(c.Problems[0].find(u"CAFile na seção [Mail]"), std::u16string::npos);
    EXPECT_NE(c.Problems[1].find(u"\"10MB\" de MaxMessageSize"), std::u16string::npos);
    EXPECT_NE(c.Problems[2].find(u"TimeLimit na seção [Archiver]"), std::u16string::npos);
    EXPECT_EQ(LoadDeploymentConfigFile(dir.WriteFile("r.conf", "[Mail]\nMaxMessageSize=0\n").string()).MaxMessageSize,
              0u);
}

TEST(DeploymentConfig, ReadsEveryKeyWithCommentsAndRelativePaths)
{
    orvant::test::TTempDir dir;
    const auto path = dir.WriteFile("etc/orvant.conf",
        "[Paths]\n"
        "DriveC=drive_c        ; where drive C: lives\n"
        "Network=/srv/unc\n"
        "[Mail]\n"
        "Host=smtp.exemplo.com.br  # servidor\n"
        "Port=2465\n"
        "Mailbox=envio@exemplo.com.br\n"
        "Password=ab;cd#ef\n"
        "CAFile=   ; none\n");
    const auto c = LoadDeploymentConfigFile(path.string());
#ifndef _WIN32 // [Paths] means nothing on Windows, where drive and UNC paths are real
    EXPECT_EQ(c.Roots.DriveC, dir.Str() + "/etc/drive_c");
    EXPECT_EQ(c.Roots.Network, "/srv/unc");
#endif
    EXPECT_EQ(c.MailHost, u"smtp.exemplo.com.br");
    EXPECT_EQ(c.MailPort, 2465);
    EXPECT_EQ(c.Mailbox, u"envio@exemplo.com.br");
    EXPECT_EQ(c.Password, u"ab;cd#ef"); // no blank before ';' or '#': part of the value
    EXPECT_EQ(c.CAFile, "");
}

TEST(DeploymentConfig, TheEnvironmentVariableNamesTheFile)
{
    orvant::test::TTempDir dir;
    const auto path = dir.WriteFile("o.conf", "[Paths]\nDriveC=/x/c\n");
    SetTestEnv("ORVANT_CONFIG", path.string().c_str());
    const auto c = LoadDeploymentConfig();
    UnsetTestEnv("ORVANT_CONFIG");
    EXPECT_EQ(c.SourcePath, path.string());
#ifndef _WIN32 // Windows needs no [Paths] and has its own default (tests/platform/PlatformWindows.cpp)
    EXPECT_EQ(c.Roots.DriveC, "/x/c");
    EXPECT_EQ(orvant::platform::DeploymentConfigPath(), "/etc/orvant/orvant.conf");
#endif
}
