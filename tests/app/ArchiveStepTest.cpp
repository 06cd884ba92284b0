#include "app/ArchiveStep.h"

#include "support/StoreFixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

using namespace orvant::app;
using orvant::platform::TProcessResult;
using orvant::platform::TSpawnProcessRunner;
using orvant::platform::TWinFileSystem;
using orvant::test::TRecordingProcessRunner;
using orvant::test::TStoreFixture;

namespace {

const std::u16string kBase = u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03";
const std::u16string kStaging1 = u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1";

TProcessResult Exited(int code, const std::string& output = {})
{
    TProcessResult r;
    r.Started = true;
    r.Exited = true;
    r.ExitCode = code;
    r.Output = output;
    return r;
}

} // namespace

TEST(ArchiveStep, CommandLineForMarch2021Terminal1)
{
    EXPECT_EQ(ArchiverCommandLine(kBase, kStaging1),
              u"\"C:\\Kelmora\\Server\\7z.exe\" a -r  C:\\Kelmora\\Orvant\\Enviar\\2021\\03 "
              u"\"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\"");
}

TEST(ArchiveStep, CreatesTheOutboxAndStartsTheArchiverWithMappedPaths)
{
    TStoreFixture store;
    const TWinFileSystem fs(store.Roots());
    TRecordingProcessRunner runner;
    TArchiveStep step(fs, runner);
    const TArchiveOutcome outcome = step.Run(u"PDV1", u"2021", kBase, kStaging1);

    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_TRUE(std::filesystem::is_directory(store.DriveC() / "Kelmora/Orvant/Enviar/2021"));
    ASSERT_EQ(runner.Calls.size(), 1u);
    const std::string c = store.DriveC().string();
    EXPECT_EQ(runner.Calls[0].Args, (std::vector<std::string> {
        "a", "-r", c + "/Kelmora/Orvant/Enviar/2021/03", c + "/Kelmora/Orvant/Arquivos/2021/03/PDV1"}));
    // Without C:\Kelmora\Server\7z.exe the Debian 7-Zip is used.
    EXPECT_EQ(std::filesystem::path(runner.Calls[0].Program).filename(), "7zz");
}

TEST(ArchiveStep, The7zExeOnDriveCIsPreferredWhenPresent)
{
    TStoreFixture store;
    // Stands in for the archiver: records its arguments, as the real program is
    // started with them (posix_spawn of the mapped file).
    const auto fake = store.Dir.WriteFile("c/Kelmora/Server/7z.exe",
                                          "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$0.args\"\n");
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    const TWinFileSystem fs(store.Roots());
    TSpawnProcessRunner runner;
    TArchiveStep step(fs, runner);
    const TArchiveOutcome outcome = step.Run(u"PDV1", u"2021", kBase, kStaging1);
    EXPECT_TRUE(outcome.Succeeded()) << std::string(outcome.Process.Output);
    EXPECT_EQ(outcome.Program, fake.string());
    const std::string c = store.DriveC().string();
    EXPECT_EQ(orvant::test::ReadFile(fake.string() + ".args"),
              "a\n-r\n" + c + "/Kelmora/Orvant/Enviar/2021/03\n" + c + "/Kelmora/Orvant/Arquivos/2021/03/PDV1\n");
}

TEST(ArchiveStep, FailuresBecomeMessagesNamingTheTerminal)
{
    TStoreFixture store;
    const TWinFileSystem fs(store.Roots());
    TRecordingProcessRunner runner;
    TArchiveStep step(fs, runner);

    runner.Handler = [](const auto&) { TProcessResult r; r.StartError = ENOENT; return r; };
    const auto notStarted = step.Run(u"PDV2", u"2021", kBase, kStaging1);
    EXPECT_NE(notStarted.ErrorMessage.find(u"Não foi possível iniciar o compactador 7-Zip"), std::u16string::npos);
    EXPECT_NE(notStarted.ErrorMessage.find(u"PDV2"), std::u16string::npos);
    EXPECT_NE(notStarted.ErrorMessage.find(u"instale o pacote 7zip"), std::u16string::npos);

    runner.Handler = [](const auto&) { return Exited(2, "Scanning\nERROR: Disk full\nSystem ERROR:\n"); };
    const auto fatal = step.Run(u"PDV3", u"2021", kBase, kStaging1);
    EXPECT_EQ(fatal.ErrorMessage,
              u"O compactador 7-Zip terminou com erro (código 2) ao arquivar o PDV3 em "
              u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z; o arquivo pode estar incompleto. Detalhe: ERROR: Disk full");

    // A warning about a terminal without invoices (no staging folder) is no news;
    // about one with files it is.
    runner.Handler = [](const auto&) { return Exited(1, "WARNING: cannot open file\n"); };
    EXPECT_TRUE(step.Run(u"PDV4", u"2021", kBase, kStaging1).Succeeded());
    store.Dir.MakeDir("c/Kelmora/Orvant/Arquivos/2021/03/PDV1");
    EXPECT_NE(step.Run(u"PDV4", u"2021", kBase, kStaging1).ErrorMessage.find(u"aviso (código 1)"), std::u16string::npos);

    runner.Handler = [](const auto&) { TProcessResult r; r.Started = true; r.Signal = 9; r.TimedOut = true; return r; };
    EXPECT_NE(step.Run(u"PDV6", u"2021", kBase, kStaging1).ErrorMessage.find(u"não terminou no tempo limite"),
              std::u16string::npos);

    runner.Handler = [](const auto&) { TProcessResult r; r.Started = true; r.Signal = 9; return r; };
    EXPECT_NE(step.Run(u"PDV5", u"2021", kBase, kStaging1).ErrorMessage.find(u"interrompido (sinal 9)"), std::u16string::npos);
}

namespace {

// The entries of an archive, as 7-Zip lists them.
std::set<std::string> ListArchive(const std::string& archive)
{
    TSpawnProcessRunner runner;
    const auto listing = runner.Run(orvant::platform::FindProgramInPath("7zz").value_or("7zz"),
                                    {"l", "-slt", "-ba", archive});
    EXPECT_TRUE(listing.Succeeded()) << listing.Output;
    std::set<std::string> paths;
    std::size_t pos = 0;
    while ((pos = listing.Output.find("Path = ", pos)) != std::string::npos) {
        const auto end = listing.Output.find('\n', pos);
        paths.insert(listing.Output.substr(pos + 7, end - pos - 7));
        pos = end;
    }
    return paths;
}

} // namespace

TEST(ArchiveStep, Real7ZipCollectsTheTerminalsAndUpdatesTheArchive)
{
    ASSERT_TRUE(orvant::platform::FindProgramInPath("7zz").has_value()) << "the Debian package 7zip is needed";
    TStoreFixture store;
    store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV1/Transmitidas/a.xml", "<a/>");
    store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV1/Canceladas/b.xml", "<b/>");
    store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV2/Transmitidas/c.xml", "<c/>");
    store.Dir.MakeDir("c/Kelmora/Orvant/Arquivos/2021/03/PDV2/Canceladas");
    const TWinFileSystem fs(store.Roots());
    TSpawnProcessRunner runner;
    TArchiveStep step(fs, runner);
    for (auto key : {u"PDV1", u"PDV2"}) {
        const auto outcome = step.Run(key, u"2021", kBase, u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\" + std::u16string(key));
        EXPECT_TRUE(outcome.Succeeded()) << outcome.Process.Output;
    }
    const std::string archive = (store.DriveC() / "Kelmora/Orvant/Enviar/2021/03.7z").string();
    EXPECT_EQ(ListArchive(archive), (std::set<std::string> {
        "PDV1", "PDV1/Transmitidas", "PDV1/Transmitidas/a.xml", "PDV1/Canceladas", "PDV1/Canceladas/b.xml",
        "PDV2", "PDV2/Transmitidas", "PDV2/Transmitidas/c.xml", "PDV2/Canceladas"}));

    // A repeated run for the month brings the archive up to date.
    store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV1/Transmitidas/a.xml", "<a versao=\"2\"/>");
    store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV1/Transmitidas/d.xml", "<d/>");
    EXPECT_TRUE(step.Run(u"PDV1", u"2021", kBase, kStaging1).Succeeded());
    EXPECT_EQ(ListArchive(archive).count("PDV1/Transmitidas/d.xml"), 1u);
    EXPECT_EQ(ListArchive(archive).count("PDV2/Transmitidas/c.xml"), 1u);
    const auto extracted = runner.Run(orvant::platform::FindProgramInPath("7zz").value_or("7zz"),
                                      {"e", "-so", "-bso0", "-bsp0", "-bse0", archive, "PDV1/Transmitidas/a.xml"});
    EXPECT_EQ(extracted.Output, "<a versao=\"2\"/>");
}
