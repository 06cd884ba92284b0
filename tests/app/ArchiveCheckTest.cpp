// The archive check with the real 7-Zip: an archive that lacks a staging file is
// caught with both counts, a damaged one fails 7-Zip's test, and the extraction run
// shows the result, records it in the history and still opens the send dialog.

#include "app/ArchiveCheck.h"
#include "app/ArchiveStep.h"
#include "app/ExtractionRun.h"
#include "app/SendHistory.h"

#include "platform/Utf.h"
#include "support/StoreFixture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace orvant::app;
using orvant::platform::FindProgramInPath;
using orvant::platform::TSpawnProcessRunner;
using orvant::platform::TWinFileSystem;
using orvant::test::TStoreFixture;

namespace {

const std::u16string kArchive = u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z";
const std::u16string kMonthStaging = u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\";

std::string Archiver()
{
    return FindProgramInPath("7zz").value_or("7zz");
}

// Invoice-like files that do not compress to nothing, so that the archive has a
// packed stream worth damaging.
void WriteInvoices(const TStoreFixture& store, const std::string& relativeFolder, int count)
{
    for (int i = 1; i <= count; ++i) {
        std::string body = "<nfe n=\"" + std::to_string(i) + "\">";
        for (int j = 0; j < 200; ++j)
            body += std::to_string((i * 7919 + j * 104729) % 1000003) + ";";
        store.Dir.WriteFile(relativeFolder + "/" + std::to_string(i) + ".xml", body + "</nfe>");
    }
}

// 7-Zip adds each terminal folder of `monthFolder` to `archive`, as the archive step does.
void Pack(const std::filesystem::path& monthFolder, const std::filesystem::path& archive)
{
    TSpawnProcessRunner runner;
    for (const auto& terminal : {"PDV1", "PDV2"}) {
        const auto r = runner.Run(Archiver(), {"a", "-r", archive.string(), (monthFolder / terminal).string()});
        ASSERT_TRUE(r.Succeeded()) << r.Output;
    }
}

std::vector<std::pair<std::u16string, std::u16string>> Terminals()
{
    return {{u"PDV1", kMonthStaging + u"PDV1"}, {u"PDV2", kMonthStaging + u"PDV2"}};
}

struct TRecordingView final : IExtractionView {
    std::vector<std::u16string> Messages;
    std::vector<std::u16string> Dialogs;
    void SetExtractButton(bool, std::u16string_view) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
    void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
    void OpenSendDialog(std::u16string_view path) override { Dialogs.emplace_back(path); }
};

} // namespace

TEST(ArchiveCheck, ASoundArchivePassesAndOneMissingAFileIsCaughtWithBothCounts)
{
    ASSERT_TRUE(FindProgramInPath("7zz").has_value()) << "the Debian package 7zip is needed";
    TStoreFixture store;
    const std::string month = "c/Kelmora/Orvant/Arquivos/2021/03";
    WriteInvoices(store, month + "/PDV1/Transmitidas", 3);
    WriteInvoices(store, month + "/PDV1/Canceladas", 1);
    WriteInvoices(store, month + "/PDV2/Transmitidas", 2);
    store.Dir.MakeDir(month + "/PDV2/Canceladas");
    const auto archive = store.DriveC() / "Kelmora/Orvant/Enviar/2021/03.7z";
    std::filesystem::create_directories(archive.parent_path());
    Pack(store.Dir.Path() / month, archive);

    const TWinFileSystem fs(store.Roots());
    TSpawnProcessRunner runner;
    TArchiveCheck check(fs, runner, Archiver());
    const TArchiveCheckResult sound = check.Run(kArchive, Terminals());
    EXPECT_TRUE(sound.Passed());
    EXPECT_TRUE(sound.Problems.empty()) << orvant::platform::Utf16ToUtf8(sound.Problems.front());
    EXPECT_EQ(FilesPerTerminal(sound.Counts), u"PDV1=3/1;PDV2=2/0");
    EXPECT_EQ(ArchiveFilesPerTerminal(store.Roots(), archive.string()), u"PDV1=3/1;PDV2=2/0");

    // The same month packed from a copy that lacks one of PDV2's files.
    TStoreFixture second;
    std::filesystem::copy(store.Dir.Path() / month, second.Dir.Path() / "m", std::filesystem::copy_options::recursive);
    std::filesystem::remove(second.Dir.Path() / "m/PDV2/Transmitidas/2.xml");
    std::filesystem::remove(archive);
    Pack(second.Dir.Path() / "m", archive);

    const TArchiveCheckResult short1 = check.Run(kArchive, Terminals());
    EXPECT_TRUE(short1.Checked);
    EXPECT_FALSE(short1.Passed());
    ASSERT_EQ(short1.Problems.size(), 1u);
    EXPECT_EQ(short1.Problems[0], u"Conferência do arquivo C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z: o PDV2 tem 2 "
                                  u"notas Transmitidas na pasta de preparação e 1 no arquivo .7z. Confira antes de "
                                  u"enviar.");
    EXPECT_EQ(FilesPerTerminal(short1.Counts), u"PDV1=3/1;PDV2=1/0");

    // No archive: nothing to check (the archive step has reported why).
    std::filesystem::remove(archive);
    EXPECT_FALSE(check.Run(kArchive, Terminals()).Checked);
}

TEST(ArchiveCheck, ADamagedOrTruncatedArchiveFailsTheTest)
{
    TStoreFixture store;
    const std::string month = "c/Kelmora/Orvant/Arquivos/2021/03";
    WriteInvoices(store, month + "/PDV1/Transmitidas", 20);
    WriteInvoices(store, month + "/PDV2/Transmitidas", 20);
    const auto archive = store.DriveC() / "Kelmora/Orvant/Enviar/2021/03.7z";
    std::filesystem::create_directories(archive.parent_path());
    Pack(store.Dir.Path() / month, archive);
    const std::string sound = orvant::test::ReadFile(archive);
    ASSERT_GT(sound.size(), 400u);

    const TWinFileSystem fs(store.Roots());
    TSpawnProcessRunner runner;
    TArchiveCheck check(fs, runner, Archiver());
    std::string damaged = sound;
    for (std::size_t i = 100; i < 116; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A); // inside the packed data
    for (const std::string& bytes : {damaged, sound.substr(0, sound.size() / 2)}) {
        std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
        const TArchiveCheckResult result = check.Run(kArchive, Terminals());
        EXPECT_TRUE(result.Checked);
        ASSERT_EQ(result.Problems.size(), 1u) << "one message, not one per folder";
        EXPECT_EQ(result.Problems[0].rfind(u"O teste do arquivo C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z pelo 7-Zip "
                                           u"falhou (código 2): o arquivo está corrompido ou incompleto.", 0), 0u)
            << orvant::platform::Utf16ToUtf8(result.Problems[0]);
    }
}

// A file removed from the staging tree after an earlier run stays in the archive
// (7-Zip only adds and replaces): the run reports it, records it and opens the
// dialog all the same.
TEST(ArchiveCheck, TheRunShowsAndRecordsAMismatchAndStillOpensTheDialog)
{
    TStoreFixture store;
    store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    store.AddInvoices("CAIXA01", "Transmitidas", "202103", 3);
    store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
    const TWinFileSystem fs(store.Roots());
    TSpawnProcessRunner runner;
    TArchiveStep step(fs, runner);
    TArchiveCheck check(fs, runner, step.Archiver());
    const TSendHistory history = TSendHistory::ForDeployment(store.Roots());

    TRecordingView view;
    TExtractionRun first(view, fs, step);
    first.SetArchiveCheck(check, &history);
    const TExtractionSummary fine = first.Execute(u"2021", u"Março");
    EXPECT_TRUE(fine.Check.Passed());
    EXPECT_TRUE(fine.AllComplete());
    EXPECT_TRUE(view.Messages.empty());
    EXPECT_TRUE(history.Entries().empty()) << "a sound archive is not recorded";

    std::filesystem::remove(store.Staging("2021", "03", "PDV1", "Transmitidas")
                            / std::filesystem::directory_iterator(store.Staging("2021", "03", "PDV1", "Transmitidas"))
                                  ->path().filename());
    std::filesystem::remove(store.SourceFolder("CAIXA01", "Transmitidas", "202103")
                            / std::filesystem::directory_iterator(store.SourceFolder("CAIXA01", "Transmitidas", "202103"))
                                  ->path().filename());
    TExtractionRun second(view, fs, step);
    second.SetArchiveCheck(check, &history);
    const TExtractionSummary stale = second.Execute(u"2021", u"Março");
    EXPECT_FALSE(stale.AllComplete());
    ASSERT_EQ(view.Messages.size(), 1u);
    EXPECT_NE(view.Messages[0].find(u"o PDV1 tem 2 notas Transmitidas na pasta de preparação e 3 no arquivo .7z"),
              std::u16string::npos);
    EXPECT_EQ(view.Dialogs, (std::vector<std::u16string> {kArchive, kArchive}));

    const auto entries = history.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Event, kEventCheck);
    EXPECT_EQ(entries[0].Year, u"2021");
    EXPECT_EQ(entries[0].Month, u"03");
    EXPECT_EQ(entries[0].Archive, kArchive);
    EXPECT_EQ(entries[0].FilesPerTerminal, u"PDV1=3/1");
    EXPECT_EQ(entries[0].Sha256.size(), 64u);
    EXPECT_EQ(entries[0].Result, u"divergência: " + view.Messages[0]);
}
