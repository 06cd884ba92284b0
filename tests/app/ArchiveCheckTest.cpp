// The archive check with the real 7-Zip against the manifest of a real extraction:
// a sound month is sealed with the archive's size and SHA-256; an archive that
// lacks an invoice, holds one with other bytes or holds one more is caught, each
// with its count and names; a damaged or truncated archive fails 7-Zip's test.

#include "app/ArchiveCheck.h"
#include "app/ArchiveStep.h"
#include "app/ExtractionRun.h"
#include "app/FileDigest.h"
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
using orvant::platform::Utf16ToUtf8;
using orvant::test::TStoreFixture;

namespace {

const std::u16string kArchive = u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z";

struct TQuietView final : IExtractionView {
    std::vector<std::u16string> Messages;
    void SetExtractButton(bool, std::u16string_view) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
    void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
    void OpenSendDialog(std::u16string_view) override {}
    void ShowMonthReport(const TMonthReport&, std::u16string_view) override {}
};

// PDV1 with 3 issued and 1 cancelled invoice, PDV2 with 2 issued and no cancelled
// folder, extracted for March 2021 with the real 7-Zip.
struct TExtractedMonth {
    TExtractedMonth()
    {
        Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=TRUE", "PDV2_COMPUTADOR=CAIXA02"});
        Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 3);
        Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
        Store.AddInvoices("CAIXA02", "Transmitidas", "202103", 2);
        TExtractionRun run(View, Fs, Step);
        run.SetArchiveCheck(Check, &History);
        Summary = run.Execute(u"2021", u"Março");
    }
    std::filesystem::path Archive() const { return Store.DriveC() / "Kelmora/Orvant/Enviar/2021/03.7z"; }
    std::filesystem::path Staging() const { return Store.Staging("2021", "03", "PDV1", "Transmitidas"); }
    // The month's archive made anew by 7-Zip from the staging tree as it is now.
    void Repack()
    {
        std::filesystem::remove(Archive());
        for (const char* terminal : {"PDV1", "PDV2"}) {
            const auto r = Runner.Run(Step.Archiver(), {"a", "-r", Archive().string(),
                                                        Staging().parent_path().parent_path().string() + "/" + terminal});
            ASSERT_TRUE(r.Succeeded()) << r.Output;
        }
    }

    TStoreFixture Store;
    TWinFileSystem Fs {Store.Roots()};
    TSpawnProcessRunner Runner;
    TArchiveStep Step {Fs, Runner};
    TArchiveCheck Check {Fs, Runner, Step.Archiver()};
    TSendHistory History = TSendHistory::ForDeployment(Store.Roots());
    TQuietView View;
    TExtractionSummary Summary;
};

} // namespace

TEST(ArchiveCheck, ASoundMonthIsSealedAndMissingDifferingOrExtraFilesAreCaught)
{
    ASSERT_TRUE(FindProgramInPath("7zz").has_value()) << "the Debian package 7zip is needed";
    TExtractedMonth month;
    const TArchiveCheckResult& sound = month.Summary.Check;
    ASSERT_TRUE(sound.Passed()) << (sound.Problems.empty() ? "" : Utf16ToUtf8(sound.Problems[0]));
    EXPECT_TRUE(month.Summary.AllComplete());
    EXPECT_EQ(CheckedLine(sound), u"Arquivo conferido: teste do 7-Zip sem erros e 6 arquivos no .7z, iguais ao "
                                  u"manifesto em nome, tamanho e CRC-32 (PDV1 3 Transmitidas e 1 Canceladas; PDV2 2 "
                                  u"Transmitidas e 0 Canceladas).");
    EXPECT_EQ(month.View.Messages, std::vector<std::u16string> {u"Sem notas Canceladas do PDV2 para Servidor"});
    EXPECT_TRUE(month.History.Entries().empty()) << "a sound month is not recorded";

    // The manifest on disk is the month's, sealed with the archive as it is.
    const auto manifest = ReadManifestFile((month.Store.DriveC() / "Kelmora/Orvant/Enviar/2021/03-manifesto.txt").string());
    ASSERT_TRUE(manifest.has_value());
    EXPECT_EQ(manifest->Files.size(), 6u);
    EXPECT_EQ(manifest->FilesPerTerminal(), u"PDV1=3/1;PDV2=2/0");
    ASSERT_TRUE(manifest->Seal.has_value());
    EXPECT_EQ(manifest->Seal->ArchiveSize, std::filesystem::file_size(month.Archive()));
    EXPECT_EQ(manifest->Seal->ArchiveSha256, Sha256OfFile(month.Archive().string()));

    const auto first = std::filesystem::directory_iterator(month.Staging())->path();
    const std::u16string firstName = u"PDV1/Transmitidas/" + orvant::platform::Utf8ToUtf16(first.filename().string());
    const auto problemsAfter = [&](const std::function<void()>& change) {
        change();
        month.Repack();
        const TArchiveCheckResult result = month.Check.Run(kArchive, *manifest);
        EXPECT_TRUE(result.Checked);
        EXPECT_FALSE(result.Seal.has_value());
        return result.Problems;
    };
    const std::u16string prefix = u"Conferência do arquivo " + kArchive + u" com o manifesto: ";
    const std::u16string advice = u"). Não envie este arquivo; extraia o mês de novo.";
    EXPECT_EQ(problemsAfter([&] { std::ofstream(month.Staging() / "extra.xml") << "<nfe/>"; }),
              std::vector<std::u16string> {prefix + u"1 entrada(s) no .7z não estão no manifesto "
                                                    u"(PDV1/Transmitidas/extra.xml" + advice});
    std::filesystem::remove(month.Staging() / "extra.xml");
    EXPECT_EQ(problemsAfter([&] { std::ofstream(first, std::ios::app) << " "; }),
              std::vector<std::u16string> {prefix + u"1 arquivo(s) no .7z diferem do manifesto no tamanho ou no "
                                                    u"CRC-32 (" + firstName + advice});
    EXPECT_EQ(problemsAfter([&] { std::filesystem::remove(first); }),
              std::vector<std::u16string> {prefix + u"1 arquivo(s) do manifesto não estão no .7z (" + firstName + advice});
}

TEST(ArchiveCheck, ADamagedOrTruncatedArchiveFailsTheTest)
{
    TExtractedMonth month;
    ASSERT_TRUE(month.Summary.Check.Passed());
    // Invoices that do not compress to nothing, so the archive has packed data to damage.
    for (int i = 0; i < 20; ++i) {
        std::string body;
        for (int j = 0; j < 300; ++j)
            body += std::to_string((i * 7919 + j * 104729) % 1000003) + ";";
        std::ofstream(month.Staging() / ("x" + std::to_string(i) + ".xml")) << body;
    }
    month.Repack();
    const std::string sound = orvant::test::ReadFile(month.Archive());
    ASSERT_GT(sound.size(), 400u);
    std::string damaged = sound;
    for (std::size_t i = 100; i < 116; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A); // inside the packed data
    for (const std::string& bytes : {damaged, sound.substr(0, sound.size() / 2)}) {
        std::ofstream(month.Archive(), std::ios::binary | std::ios::trunc) << bytes;
        const TArchiveCheckResult result = month.Check.Run(kArchive, month.Summary.Manifest);
        ASSERT_EQ(result.Problems.size(), 1u) << "one message, not one per file";
        EXPECT_EQ(result.Problems[0].rfind(u"O teste do arquivo " + kArchive + u" pelo 7-Zip falhou (código 2): o "
                                           u"arquivo está corrompido ou incompleto.", 0), 0u)
            << Utf16ToUtf8(result.Problems[0]);
    }
}
