#include "platform/DeploymentConfig.h"

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

    const auto path = dir.WriteFile("p.conf", "[Mail]\nPort=abc\n");
    const auto partial = LoadDeploymentConfigFile(path.string());
    EXPECT_TRUE(partial.FileFound);
    EXPECT_EQ(partial.MailPort, 465);
    EXPECT_EQ(partial.Roots.DriveC, "/var/lib/orvant/drive_c");
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
    EXPECT_EQ(c.Roots.DriveC, dir.Str() + "/etc/drive_c");
    EXPECT_EQ(c.Roots.Network, "/srv/unc");
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
    ::setenv("ORVANT_CONFIG", path.c_str(), 1);
    const auto c = LoadDeploymentConfig();
    ::unsetenv("ORVANT_CONFIG");
    EXPECT_EQ(c.SourcePath, path.string());
    EXPECT_EQ(c.Roots.DriveC, "/x/c");
    EXPECT_EQ(orvant::platform::DeploymentConfigPath(), "/etc/orvant/orvant.conf");
}
