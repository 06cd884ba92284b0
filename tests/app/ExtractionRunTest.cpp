#include "app/ExtractionRun.h"

#include "support/StoreFixture.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace orvant::app;
using orvant::platform::TWinFileSystem;
using orvant::test::ReadFile;
using orvant::test::TRecordingProcessRunner;
using orvant::test::TStoreFixture;

namespace {

std::string U8(std::u16string_view s)
{
    return {s.begin(), s.end()}; // the texts compared here are ASCII
}

// Records what the run does to its window, one line per call.
class TRecordingView final : public IExtractionView {
public:
    std::vector<std::string> Events;

    void SetExtractButton(bool enabled, std::u16string_view caption) override
    {
        Events.push_back(std::string(enabled ? "button on " : "button off ") + U8(caption));
    }
    void SetProgressRange(int maximum) override { Events.push_back("range " + std::to_string(maximum)); }
    void SetProgressPosition(int position) override { Events.push_back("pos " + std::to_string(position)); }
    void ShowMessage(std::u16string_view text) override { Events.push_back("msg " + U8(text)); }
    void OpenSendDialog(std::u16string_view path) override { Events.push_back("dialog " + U8(path)); }

    std::vector<std::string> Messages() const
    {
        std::vector<std::string> m;
        for (const auto& e : Events)
            if (e.rfind("msg ", 0) == 0)
                m.push_back(e.substr(4));
        return m;
    }
    std::vector<std::string> WithoutPositions() const
    {
        std::vector<std::string> m;
        for (const auto& e : Events)
            if (e.rfind("pos ", 0) != 0)
                m.push_back(e);
        return m;
    }
};

class ExtractionRun : public ::testing::Test {
protected:
    TExtractionSummary Run(std::u16string_view year = u"2021", std::u16string_view month = u"Março")
    {
        const TWinFileSystem fs(Store.Roots());
        TArchiveStep archive(fs, Runner);
        return TExtractionRun(View, fs, archive).Execute(year, month);
    }
    std::string LastArgument(std::size_t call) const
    {
        return std::filesystem::path(Runner.Calls.at(call).Args.back()).filename().string();
    }

    TStoreFixture Store;
    TRecordingProcessRunner Runner;
    TRecordingView View;
};

const std::string kStaging = "C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\";

} // namespace

TEST_F(ExtractionRun, HandlesEnabledTerminalsInOrderAndSkipsTheOthersSilently)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=FALSE", "PDV2_COMPUTADOR=CAIXA02",
                       "PDV3=TRUE", "PDV3_COMPUTADOR=CAIXA03", "PDV4=true", "PDV4_COMPUTADOR=CAIXA04",
                       "PDV21=TRUE", "PDV21_COMPUTADOR=CAIXA21"});
    for (auto host : {"CAIXA01", "CAIXA02", "CAIXA03", "CAIXA04", "CAIXA21"}) {
        Store.AddInvoices(host, "Transmitidas", "202103", 2);
        Store.AddInvoices(host, "Canceladas", "202103", 1);
    }
    const TExtractionSummary summary = Run();

    EXPECT_EQ(View.WithoutPositions(), (std::vector<std::string> {
        "button off Extraindo...", "range 2", "range 1", "range 2", "range 1",
        "dialog C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z"}));
    ASSERT_EQ(Runner.Calls.size(), 2u);
    EXPECT_EQ(LastArgument(0), "PDV1");
    EXPECT_EQ(LastArgument(1), "PDV3");
    EXPECT_EQ(Runner.Calls[0].Args[2], Runner.Calls[1].Args[2]); // the same archive base
    ASSERT_EQ(summary.Terminals.size(), 2u);
    EXPECT_TRUE(summary.AllComplete());
    EXPECT_EQ(std::filesystem::directory_iterator(Store.Staging("2021", "03", "PDV3", "Canceladas"))->path().extension(), ".xml");
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV2", "")));
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV4", "")));
}

TEST_F(ExtractionRun, IssuedFilesWithoutACancelledFolder)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 120);
    const TExtractionSummary summary = Run();

    std::vector<std::string> expected {"button off Extraindo...", "range 120"};
    for (int i = 1; i <= 120; ++i)
        expected.push_back("pos " + std::to_string(i));
    expected.push_back("range 0"); // reset for the cancelled pass
    expected.push_back("msg Sem notas Canceladas do PDV1 para Servidor");
    expected.push_back("dialog C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z");
    EXPECT_EQ(View.Events, expected);
    for (const auto& n : names)
        EXPECT_TRUE(std::filesystem::is_regular_file(Store.Staging("2021", "03", "PDV1", "Transmitidas") / n)) << n;
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "Canceladas")));
    EXPECT_EQ(summary.Terminals.at(0).Issued.Copied, 120);
    EXPECT_TRUE(summary.AllComplete()); // a month without cancellations is complete
}

TEST_F(ExtractionRun, AnEarlierStagingFileIsOverwrittenWithoutAMessage)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 1);
    Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
    const auto staged = Store.Staging("2021", "03", "PDV1", "Transmitidas") / names[0];
    Store.Dir.WriteFile(staged.string().substr(Store.Dir.Str().size() + 1), "conteúdo antigo, mais longo que o novo");
    Run();
    EXPECT_TRUE(View.Messages().empty());
    EXPECT_EQ(ReadFile(staged), ReadFile(Store.SourceFolder("CAIXA01", "Transmitidas", "202103") / names[0]));
}

TEST_F(ExtractionRun, AFailedCopyIsReportedWithTheFullPathAndTheBarStillAdvances)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 3);
    Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
    // The staging file cannot be written: a folder holds its name (this works for
    // root too, whom file permissions would not stop).
    std::filesystem::create_directories(Store.Staging("2021", "03", "PDV1", "Transmitidas") / names[1]);
    const TExtractionSummary summary = Run();

    EXPECT_EQ(View.Events, (std::vector<std::string> {
        "button off Extraindo...", "range 3", "pos 1",
        "msg Erro ao copiar XML para " + kStaging + "PDV1\\Transmitidas\\" + names[1], "pos 2", "pos 3",
        "range 1", "pos 1", "dialog C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z"}));
    EXPECT_TRUE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "Transmitidas") / names[2]));
    EXPECT_EQ(summary.Terminals.at(0).Issued.Failed, 1);
    EXPECT_FALSE(summary.AllComplete());
}

TEST_F(ExtractionRun, OnlyXmlFilesInAnyCaseAreCountedAndCopied)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=caixa01"}); // the share's name in another case
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 2);
    const auto upper = Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1, "XML");
    const auto source = Store.SourceFolder("CAIXA01", "Transmitidas", "202103");
    std::filesystem::create_directory(source / "x.xml");
    Store.Dir.WriteFile((source / "leia-me.txt").string().substr(Store.Dir.Str().size() + 1), "");
    Run();

    EXPECT_EQ(View.WithoutPositions(), (std::vector<std::string> {
        "button off Extraindo...", "range 2", "range 1", "dialog C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z"}));
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "Transmitidas") / "x.xml"));
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "Transmitidas") / "leia-me.txt"));
    EXPECT_TRUE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "Canceladas") / upper[0]));
}

TEST_F(ExtractionRun, NoMonthSelectedGivesBothMessagesForEveryEnabledTerminal)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=TRUE", "PDV2_COMPUTADOR=CAIXA02"});
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 2);
    const TExtractionSummary summary = Run(u"2021", u"");
    EXPECT_EQ(View.Messages(), (std::vector<std::string> {
        "Sem notas Transmitidas do PDV1 para Servidor", "Sem notas Canceladas do PDV1 para Servidor",
        "Sem notas Transmitidas do PDV2 para Servidor", "Sem notas Canceladas do PDV2 para Servidor"}));
    EXPECT_EQ(Runner.Calls.size(), 2u); // the archiver still runs, on folders that do not exist
    EXPECT_EQ(summary.AttachmentPath, u"C:\\Kelmora\\Orvant\\Enviar\\2021\\.7z");
    EXPECT_FALSE(summary.AllComplete());
}

TEST_F(ExtractionRun, AnEnabledTerminalWithoutComputerNameHasNoInvoices)
{
    Store.WriteConfig({"PDV1=TRUE"});
    Store.AddInvoices("", "Transmitidas", "202103", 1); // unc/Kelmora/... must not be taken as a share
    Run();
    EXPECT_EQ(View.Messages(), (std::vector<std::string> {
        "Sem notas Transmitidas do PDV1 para Servidor", "Sem notas Canceladas do PDV1 para Servidor"}));
    EXPECT_EQ(Runner.Calls.size(), 1u);
}

TEST_F(ExtractionRun, WithoutConfigurationNothingRunsAndTheDialogGetsDot7z)
{
    const TExtractionSummary summary = Run();
    EXPECT_EQ(View.Events, (std::vector<std::string> {"button off Extraindo...", "dialog .7z"}));
    EXPECT_TRUE(Runner.Calls.empty());
    EXPECT_FALSE(std::filesystem::exists(Store.DriveC() / "Kelmora/Orvant"));
    EXPECT_FALSE(summary.AllComplete());
}

TEST_F(ExtractionRun, AnArchiverFailureIsReportedAndTheRunGoesOn)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=TRUE", "PDV2_COMPUTADOR=CAIXA02"});
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 1);
    Store.AddInvoices("CAIXA02", "Transmitidas", "202103", 1);
    Store.AddInvoices("CAIXA02", "Canceladas", "202103", 1);
    Runner.Handler = [](const TRecordingProcessRunner::TCall& call) {
        orvant::platform::TProcessResult r;
        r.Started = true;
        r.Exited = true;
        r.ExitCode = call.Args.back().ends_with("PDV1") ? 2 : 0;
        return r;
    };
    const TExtractionSummary summary = Run();
    const auto messages = View.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("O compactador 7-Zip terminou com erro (c", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find("PDV1"), std::string::npos);
    EXPECT_EQ(messages[1], "Sem notas Canceladas do PDV1 para Servidor"); // after the archiver's
    EXPECT_EQ(Runner.Calls.size(), 2u);
    EXPECT_FALSE(summary.Terminals[0].Complete());
    EXPECT_TRUE(summary.Terminals[1].Complete());
}
