// The Windows backends through real files: listing, copy with CRC, the profile
// functions reading UTF-16 and ANSI INI files, locks, appends, the deployment path.
#include "platform/AppendFile.h"
#include "platform/Crc32.h"
#include "platform/DeploymentConfig.h"
#include "platform/FileLock.h"
#include "platform/IniFile.h"
#include "platform/MainThread.h"
#include "platform/NativePath.h"
#include "platform/SystemError.h"
#include "platform/TempFile.h"
#include "platform/Utf.h"
#include "platform/WinFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace orvant::platform;

namespace {

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        FFolder = CreateTempFolder("orvant-win-");
        ASSERT_FALSE(FFolder.empty());
        FBase = Utf8ToUtf16(FFolder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(NativePath(FFolder), ignored);
    }
    std::string Read(const std::string& path) const
    {
        std::ifstream in(NativePath(path), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& path, std::string_view bytes) const
    {
        std::ofstream out(NativePath(path), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string FFolder;
    std::u16string FBase;
    TWinFileSystem FFs {TWinPathRoots {}};
};

} // namespace

TEST_F(WindowsFiles, ListsAndCopiesFromAShareWithNonAsciiNames)
{
    const std::u16string share = FBase + u"\\Ação";
    ASSERT_TRUE(FFs.ForceDirectories(share + u"\\João\\sub\\"));
    const std::string invoice = "<NFe>nota fiscal de João</NFe>";
    ASSERT_EQ(FFs.WriteFileWhole(share + u"\\João\\nota-ç.xml", invoice), 0);
    ASSERT_EQ(FFs.WriteFileWhole(share + u"\\João\\outra.xmlx", "x"), 0);

    const TFindResult found = FFs.FindFilesChecked(share + u"\\João\\*.xml");
    EXPECT_EQ(found.Error, 0);
    ASSERT_EQ(found.Entries.size(), 1u); // not "outra.xmlx", whatever its short name
    EXPECT_EQ(found.Entries[0].Name, u"nota-ç.xml");
    EXPECT_TRUE(found.Entries[0].IsRegularFile);
    const TFindResult all = FFs.FindFilesChecked(share + u"\\João\\*");
    ASSERT_EQ(all.Entries.size(), 3u);
    EXPECT_TRUE(all.Entries[2].IsDirectory); // "sub", sorted last
    EXPECT_FALSE(all.Entries[2].IsRegularFile);
    const TFindResult missing = FFs.FindFilesChecked(share + u"\\Nada\\*");
    EXPECT_TRUE(FolderQueryErrorMeansMissing(missing.Error)) << missing.Error;
    EXPECT_FALSE(FFs.DirectoryExists(share + u"\\Nada"));

    const TCopiedFile copied = FFs.CopyFromShare(share, share + u"\\João\\nota-ç.xml", FBase + u"\\cópia.xml", true);
    ASSERT_TRUE(copied.Ok()) << static_cast<int>(copied.Problem) << " " << copied.Error;
    EXPECT_EQ(copied.Size, invoice.size());
    EXPECT_EQ(copied.Crc32, Crc32(0, invoice.data(), invoice.size()));
    EXPECT_GT(copied.ModifiedUnix, 1'600'000'000);
    EXPECT_EQ(Read(FFolder + "\\cópia.xml"), invoice);
}

TEST_F(WindowsFiles, CopyFromShareRefusesFoldersPathsOutsideAndMissingFiles)
{
    const std::u16string share = FBase + u"\\share";
    ASSERT_TRUE(FFs.ForceDirectories(share + u"\\pasta.xml"));
    ASSERT_EQ(FFs.WriteFileWhole(FBase + u"\\orvant.conf", "Password=x"), 0);

    const TCopiedFile folder = FFs.CopyFromShare(share, share + u"\\pasta.xml", FBase + u"\\a.xml");
    EXPECT_EQ(folder.Problem, TCopiedFile::TProblem::cpNotRegular);
    EXPECT_EQ(folder.Kind, "pasta");
    const TCopiedFile outside = FFs.CopyFromShare(share, share + u"\\..\\orvant.conf", FBase + u"\\b.xml");
    EXPECT_EQ(outside.Problem, TCopiedFile::TProblem::cpOutsideShare);
    const TCopiedFile gone = FFs.CopyFromShare(share, share + u"\\falta.xml", FBase + u"\\c.xml");
    EXPECT_EQ(gone.Problem, TCopiedFile::TProblem::cpUnreadable);
    EXPECT_EQ(SystemErrorKind(gone.Error), TSystemErrorKind::NotFound);
    EXPECT_FALSE(SystemErrorText(gone.Error).empty());
    for (const char16_t* left : {u"\\a.xml", u"\\b.xml", u"\\c.xml"})
        EXPECT_FALSE(FFs.FileExists(FBase + left)); // no partial target
}

TEST_F(WindowsFiles, ProfileFunctionsReadUtf16AndAnsiFiles)
{
    const std::u16string utf16 = u"\uFEFF[Caixa01]\r\nNome = \"João da Ação\"\r\n";
    Write(FFolder + "\\u16.ini",
          std::string_view(reinterpret_cast<const char*>(utf16.data()), utf16.size() * sizeof(char16_t)));
    Write(FFolder + "\\ansi.ini", "[Caixa02]\r\nNome=Jo\xe3o\r\n"); // Windows-1252

    const TIniFile wide = TIniFile::Load(FFolder + "\\u16.ini");
    EXPECT_EQ(wide.ReadString(u"caixa01", u"NOME"), u"João da Ação");
    EXPECT_TRUE(wide.HasSection(u"CAIXA01"));
    EXPECT_FALSE(wide.HasSection(u"Caixa02"));
    EXPECT_EQ(wide.ReadString(u"Caixa01", u"Falta", u"padrão"), u"padrão");
    EXPECT_EQ(TIniFile::Load(FFolder + "\\ansi.ini").ReadString(u"Caixa02", u"Nome"), u"João");
    EXPECT_FALSE(TIniFile::Load(FFolder + "\\nada.ini").HasSection(u"Caixa01"));
}

TEST_F(WindowsFiles, LockIsExclusiveAndAppendsKeepWholeLines)
{
    int error = 0;
    const auto lock = TFileLock::TryLock(FFolder + "\\mês.lock", error);
    ASSERT_TRUE(lock.has_value()) << error;
    int second = 0;
    EXPECT_FALSE(TFileLock::TryLock(FFolder + "\\mês.lock", second).has_value());
    EXPECT_EQ(second, EWOULDBLOCK);

    const std::string history = FFolder + "\\histórico.csv";
    AppendLine(history, "cabeça\r\n", "linha1\r\n");
    AppendLine(history, "cabeça\r\n", "linha2"); // cut short
    AppendLine(history, "cabeça\r\n", "linha3\r\n");
    EXPECT_EQ(Read(history), "cabeça\r\nlinha1\r\nlinha2\r\nlinha3\r\n");
}

TEST(WindowsDeployment, DefaultPathIsUnderProgramDataAndPathsAreNotUsed)
{
    const std::string path = DefaultDeploymentConfigPath();
    EXPECT_NE(path.find("\\Orvant\\orvant.conf"), std::string::npos) << path;
    EXPECT_FALSE(DeploymentPathsUsed());
}

TEST(WindowsThreads, OnlyTheStartingThreadIsTheMainThread)
{
    EXPECT_TRUE(IsMainThread());
    bool other = true;
    std::thread([&] { other = IsMainThread(); }).join();
    EXPECT_FALSE(other);
}
