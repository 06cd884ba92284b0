#include "platform/WinFileSystem.h"

#include "platform/Utf.h"

#include "support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using orvant::platform::FolderQueryErrorMeansMissing;
using orvant::platform::TWinFileSystem;
using orvant::test::ReadFile;

namespace {

class WinFileSystem : public ::testing::Test {
protected:
    orvant::test::TTempDir FDir;
    TWinFileSystem FFs {{FDir.Str() + "/c", FDir.Str() + "/unc"}};
};

} // namespace

TEST(FolderTestRule, OnlyNotFoundErrorsMakeAFolderMissing)
{
    for (int e : {ENOENT, ENOTDIR, ENAMETOOLONG, ELOOP, ENXIO, EHOSTDOWN})
        EXPECT_TRUE(FolderQueryErrorMeansMissing(e)) << e;
    // Access denied, I/O errors and the like: the folder counts as existing.
    for (int e : {EACCES, EPERM, EIO, ENOMEM, EOVERFLOW, ESTALE})
        EXPECT_FALSE(FolderQueryErrorMeansMissing(e)) << e;
}

TEST_F(WinFileSystem, FolderTestOnRealPaths)
{
    FDir.MakeDir("c/Pasta");
    FDir.WriteFile("c/arquivo.xml", "x");
    std::filesystem::create_directory_symlink(FDir.Path() / "c/Pasta", FDir.Path() / "c/link");
    std::filesystem::create_symlink(FDir.Path() / "c/nada", FDir.Path() / "c/quebrado");
    std::filesystem::create_symlink(FDir.Path() / "c/laco", FDir.Path() / "c/laco");

    EXPECT_TRUE(FFs.DirectoryExists(u"C:\\Pasta"));
    EXPECT_TRUE(FFs.DirectoryExists(u"C:\\PASTA\\"));
    EXPECT_TRUE(FFs.DirectoryExists(u"C:\\link"));
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\quebrado"));     // link whose target does not open
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\laco\\x"));      // ELOOP counts as missing
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\arquivo.xml"));  // a file is no folder
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\arquivo.xml\\x")); // ENOTDIR
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\nada"));
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\" + std::u16string(5000, u'a'))); // ENAMETOOLONG
    EXPECT_FALSE(FFs.DirectoryExists(u"\\\\\\Kelmora\\PDV")); // no computer name
    EXPECT_FALSE(FFs.DirectoryExists(u"C:\\..\\c"));
}

TEST_F(WinFileSystem, ForceDirectoriesCreatesTheWholePathTopDown)
{
    EXPECT_TRUE(FFs.ForceDirectories(u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\\Transmitidas\\"));
    EXPECT_TRUE(std::filesystem::is_directory(FDir.Path() / "c/Kelmora/Orvant/Arquivos/2021/03/PDV1/Transmitidas"));
    // Existing folders in another case are reused, not doubled.
    EXPECT_TRUE(FFs.ForceDirectories(u"C:\\KELMORA\\orvant\\Enviar\\2021\\\\"));
    EXPECT_TRUE(std::filesystem::is_directory(FDir.Path() / "c/Kelmora/Orvant/Enviar/2021"));
    EXPECT_FALSE(std::filesystem::exists(FDir.Path() / "c/KELMORA"));
    // A file in the way makes it fail.
    FDir.WriteFile("c/bloqueio", "");
    EXPECT_FALSE(FFs.ForceDirectories(u"C:\\bloqueio\\sub"));
    EXPECT_FALSE(FFs.ForceDirectories(u"C:\\..\\fora"));
}

TEST_F(WinFileSystem, FindFilesMatchesWithoutCaseAndReportsFolders)
{
    FDir.WriteFile("unc/H/S/m/b.xml", "1");
    FDir.WriteFile("unc/H/S/m/A.XML", "2");
    FDir.WriteFile("unc/H/S/m/c.xml.bak", "3");
    FDir.WriteFile("unc/H/S/m/.oculto.xml", "4");
    FDir.MakeDir("unc/H/S/m/pasta.xml");
    std::filesystem::create_directory_symlink(FDir.Path() / "unc/H/S/m/pasta.xml", FDir.Path() / "unc/H/S/m/link.xml");

    const auto entries = FFs.FindFiles(u"\\\\h\\s\\M\\*.xml");
    std::vector<std::pair<std::u16string, bool>> got;
    for (const auto& e : entries)
        got.emplace_back(e.Name, e.IsDirectory);
    const std::vector<std::pair<std::u16string, bool>> expected {
        {u".oculto.xml", false}, {u"A.XML", false}, {u"b.xml", false}, {u"link.xml", true}, {u"pasta.xml", true}};
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(FFs.FindFiles(u"\\\\H\\S\\nada\\*.xml").empty());
    EXPECT_TRUE(FFs.FindFiles(u"\\\\H\\S\\m\\").empty());
}

TEST_F(WinFileSystem, CopyOverwritesAndKeepsTheModificationTime)
{
    const auto source = FDir.WriteFile("unc/H/S/nota.xml", "<nota>nova</nota>");
    const auto target = FDir.WriteFile("c/dest/nota.xml", "<nota>antiga e mais longa</nota>");
    std::filesystem::last_write_time(source, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));

    EXPECT_TRUE(FFs.CopyFile(u"\\\\H\\S\\nota.xml", u"C:\\dest\\nota.xml"));
    EXPECT_EQ(ReadFile(target), "<nota>nova</nota>");
    EXPECT_EQ(std::filesystem::last_write_time(target), std::filesystem::last_write_time(source));

    const std::string big(3 * 1024 * 1024 + 17, 'x');
    FDir.WriteFile("unc/H/S/grande.xml", big);
    EXPECT_TRUE(FFs.CopyFile(u"\\\\H\\S\\grande.xml", u"C:\\dest\\grande.xml"));
    EXPECT_EQ(ReadFile(FDir.Path() / "c/dest/grande.xml"), big);
}

TEST_F(WinFileSystem, FailedCopiesReportFailureAndLeaveNoPartialFile)
{
    FDir.WriteFile("unc/H/S/nota.xml", "x");
    FDir.MakeDir("unc/H/S/pasta.xml");
    FDir.MakeDir("c/dest/ocupado.xml"); // a folder where the file should go
    EXPECT_FALSE(FFs.CopyFile(u"\\\\H\\S\\nada.xml", u"C:\\dest\\nada.xml"));
    EXPECT_FALSE(std::filesystem::exists(FDir.Path() / "c/dest/nada.xml"));
    EXPECT_FALSE(FFs.CopyFile(u"\\\\H\\S\\pasta.xml", u"C:\\dest\\pasta.xml"));
    EXPECT_FALSE(std::filesystem::exists(FDir.Path() / "c/dest/pasta.xml"));
    EXPECT_FALSE(FFs.CopyFile(u"\\\\H\\S\\nota.xml", u"C:\\dest\\ocupado.xml"));
    EXPECT_FALSE(FFs.CopyFile(u"\\\\H\\S\\nota.xml", u"C:\\sem-pasta\\nota.xml"));
    EXPECT_FALSE(FFs.CopyFile(u"\\\\H\\S\\nota.xml", u"C:\\dest\\"));
    EXPECT_TRUE(FFs.FileExists(u"\\\\h\\s\\NOTA.XML"));
    EXPECT_FALSE(FFs.FileExists(u"\\\\H\\S\\pasta.xml"));
}

// Only regular files inside the terminal's share are copied, each with the CRC-32
// of its bytes; a FIFO is refused at once instead of blocking the read for ever.
TEST_F(WinFileSystem, CopyFromShareTakesOnlyRegularFilesInsideTheShare)
{
    using TProblem = orvant::platform::TCopiedFile::TProblem;
    const auto copy = [&](const char* name) {
        return FFs.CopyFromShare(u"\\\\H\\Kelmora", u"\\\\H\\Kelmora\\m\\" + orvant::platform::Utf8ToUtf16(name),
                                 u"C:\\dest\\" + orvant::platform::Utf8ToUtf16(name));
    };
    FDir.MakeDir("c/dest");
    FDir.WriteFile("unc/H/Kelmora/m/nota.xml", "123456789"); // the CRC-32 check value
    FDir.WriteFile("unc/H/Kelmora/outra/dentro.xml", "<nfe/>");
    const auto secret = FDir.WriteFile("c/Kelmora/Server/orvant.conf", "Password=segredo");
    std::filesystem::create_symlink("../outra/dentro.xml", FDir.Path() / "unc/H/Kelmora/m/dentro.xml");
    std::filesystem::create_symlink(secret, FDir.Path() / "unc/H/Kelmora/m/zz.xml");
    std::filesystem::create_symlink("../../../../c/Kelmora/Server/orvant.conf", FDir.Path() / "unc/H/Kelmora/m/rel.xml");
    ASSERT_EQ(::mkfifo((FDir.Path() / "unc/H/Kelmora/m/x.xml").c_str(), 0600), 0);

    const auto nota = copy("nota.xml");
    ASSERT_TRUE(nota.Ok());
    EXPECT_EQ(nota.Crc32, 0xCBF43926u);
    EXPECT_EQ(nota.Size, 9u);
    EXPECT_EQ(ReadFile(FDir.Path() / "c/dest/nota.xml"), "123456789");
    EXPECT_TRUE(copy("dentro.xml").Ok()) << "a link that stays inside the share";
    for (const char* outside : {"zz.xml", "rel.xml"}) {
        EXPECT_EQ(copy(outside).Problem, TProblem::cpOutsideShare) << outside;
        EXPECT_FALSE(std::filesystem::exists(FDir.Path() / "c/dest" / outside)) << outside;
    }
    const auto fifo = copy("x.xml");
    EXPECT_EQ(fifo.Problem, TProblem::cpNotRegular);
    EXPECT_EQ(fifo.Kind, "FIFO");
    EXPECT_EQ(copy("nada.xml").Problem, TProblem::cpUnreadable);

    // A folder that cannot be listed says so; one that is not there says ENOENT.
    EXPECT_EQ(FFs.FindFilesChecked(u"\\\\H\\Kelmora\\m\\*.xml").Error, 0);
    EXPECT_EQ(FFs.FindFilesChecked(u"\\\\H\\Kelmora\\falta\\*.xml").Error, ENOENT);
}
