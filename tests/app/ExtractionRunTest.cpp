#include "app/ExtractionRun.h"

#include "platform/FileLock.h"
#include "platform/Utf.h"
#include "support/StoreFixture.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace orvant::app;
using orvant::platform::TWinFileSystem;
using orvant::test::ReadFile;
using orvant::test::TRecordingProcessRunner;
using orvant::test::TStoreFixture;

namespace {

std::string U8(std::u16string_view s)
{
    return orvant::platform::Utf16ToUtf8(s);
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
    void SetProgressPosition(int position) override
    {
        Events.push_back("pos " + std::to_string(position));
        if (OnPosition)
            OnPosition(position);
    }
    std::function<void(int)> OnPosition;
    void ShowMessage(std::u16string_view text) override { Events.push_back("msg " + U8(text)); }
    void OpenSendDialog(std::u16string_view path) override { Events.push_back("dialog " + U8(path)); }
    void ShowMonthReport(const TMonthReport& report, std::u16string_view summaryPath) override
    {
        if (!report.Problems.empty())
            ShowMessage(MonthReportMessage(report, summaryPath));
        Events.push_back("summary " + U8(report.Summary()));
    }

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

// An earlier run's staging month and archive are set aside, never mixed into
// the new month nor deleted.
TEST_F(ExtractionRun, AnEarlierExtractionIsSetAsideAndTheMonthCopiedAfresh)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 1);
    Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
    const auto staged = Store.Staging("2021", "03", "PDV1", "Transmitidas") / names[0];
    Store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV1/Transmitidas/" + names[0], "conteúdo antigo");
    Store.Dir.WriteFile("c/Kelmora/Orvant/Arquivos/2021/03/PDV9/Transmitidas/removida.xml", "de um PDV desligado");
    Store.Dir.WriteFile("c/Kelmora/Orvant/Enviar/2021/03.7z", "arquivo antigo");
    Store.Dir.WriteFile("c/Kelmora/Orvant/Enviar/2021/03.7z.001", "volume antigo");
    const TExtractionSummary summary = Run();

    const std::string aside = U8(summary.SetAsideFolder);
    EXPECT_EQ(View.Messages(), std::vector<std::string> {"A extração anterior de 03/2021 foi guardada em " + aside
                                                         + "; o mês é extraído de novo do zero."});
    ASSERT_EQ(aside.rfind("C:\\Kelmora\\Orvant\\Enviar\\2021\\anteriores\\03-", 0), 0u) << aside;
    const auto kept = *std::filesystem::directory_iterator(Store.DriveC() / "Kelmora/Orvant/Enviar/2021/anteriores");
    EXPECT_EQ(ReadFile(kept.path() / "Arquivos/PDV1/Transmitidas" / names[0]), "conteúdo antigo");
    EXPECT_EQ(ReadFile(kept.path() / "03.7z"), "arquivo antigo");
    EXPECT_EQ(ReadFile(kept.path() / "03.7z.001"), "volume antigo");
    EXPECT_EQ(ReadFile(staged), ReadFile(Store.SourceFolder("CAIXA01", "Transmitidas", "202103") / names[0]));
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV9", "")));
    EXPECT_FALSE(std::filesystem::exists(Store.DriveC() / "Kelmora/Orvant/Enviar/2021/03.7z.001"));
    EXPECT_EQ(summary.Manifest.Files.size(), 2u);
}

TEST_F(ExtractionRun, AFailedCopyIsReportedWithTheFullPathAndTheBarStillAdvances)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 3);
    Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
    // A name Windows cannot hold (a Linux share can): it cannot reach the staging
    // tree. File permissions would not stop root.
    const std::string bad = "35210|ruim.xml";
    Store.Dir.WriteFile("unc/CAIXA01/Kelmora/PDV/NFCE/Transmitidas/202103/" + bad, "<nfe/>");
    const TExtractionSummary summary = Run();

    EXPECT_EQ(std::vector<std::string>(View.Events.begin(), View.Events.begin() + 7), (std::vector<std::string> {
        "button off Extraindo...", "range 4", "pos 1", "pos 2", "pos 3",
        "msg Erro ao copiar XML para " + kStaging + "PDV1\\Transmitidas\\" + bad, "pos 4"}));
    EXPECT_TRUE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "Transmitidas") / names[2]));
    EXPECT_EQ(summary.Terminals.at(0).Issued.Failed, 1);
    ASSERT_EQ(summary.Manifest.Problems.size(), 1u);
    EXPECT_NE(U8(summary.Manifest.Problems[0].Text).find(bad), std::string::npos);
    EXPECT_FALSE(summary.AllComplete());
    EXPECT_NE(View.Messages().back().find("ficou incompleto"), std::string::npos);
}

// The share gone in the middle of the copy (the terminal wiped or its share
// dropped): one message for all that is left instead of one box per invoice, and
// the month is incomplete.
TEST_F(ExtractionRun, AShareThatVanishesMidCopyMakesTheMonthIncomplete)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 620);
    Store.AddInvoices("CAIXA01", "Canceladas", "202103", 3);
    View.OnPosition = [&](int position) {
        if (position == 217 && View.Messages().empty())
            std::filesystem::remove_all(Store.Dir.Path() / "unc/CAIXA01");
    };
    const TExtractionSummary summary = Run();

    EXPECT_EQ(summary.Terminals.at(0).Issued.Copied, 217);
    EXPECT_EQ(summary.Manifest.Files.size(), 217u);
    EXPECT_FALSE(summary.AllComplete());
    const auto messages = View.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], "Erro ao copiar XML para " + kStaging + "PDV1\\Transmitidas\\" + names[217]);
    EXPECT_EQ(messages[1], "A pasta \\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103 deixou de estar "
                           "acessível durante a cópia: 403 arquivo(s) do PDV1 não foram copiados.");
    EXPECT_EQ(messages[2], "Sem notas Canceladas do PDV1 para Servidor");
    EXPECT_NE(messages[3].find("do PDV1 deixou de estar acessível durante a cópia"), std::string::npos);
    EXPECT_NE(messages[4].find("ficou incompleto"), std::string::npos);

    // The report covers only what was copied, and says so.
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 3);
    std::filesystem::create_symlink(Store.DriveC() / "Kelmora/Server/Orvant.ini",
                                    Store.SourceFolder("CAIXA01", "Transmitidas", "202103") / "zz.xml");
    const TWinFileSystem fs(Store.Roots());
    TArchiveStep archive(fs, Runner);
    TExtractionRun again(View, fs, archive);
    again.SetMonthReport({});
    const TExtractionSummary reported = again.Execute(u"2021", u"Março");
    ASSERT_TRUE(reported.Report);
    EXPECT_NE(U8(reported.Report->Summary()).find("; extração incompleta"), std::string::npos);
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

// A path without its month would let 7-Zip's -r gather other months' staged files.
TEST_F(ExtractionRun, NoMonthOrYearIsRefusedBeforeAnythingIsTouched)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=TRUE", "PDV2_COMPUTADOR=CAIXA02"});
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 2);
    for (const auto& [year, month] : std::vector<std::pair<std::u16string, std::u16string>> {
             {u"2021", u""}, {u"", u"Março"}, {u"21", u"Março"}, {u"2021", u"marco"}}) {
        View.Events.clear();
        const TExtractionSummary summary = Run(year, month);
        EXPECT_TRUE(summary.Refused);
        ASSERT_EQ(View.Events.size(), 1u) << "the button stays as it was";
        EXPECT_EQ(View.Events[0].rfind("msg Escolha o ano e o m", 0), 0u) << View.Events[0];
    }
    EXPECT_TRUE(Runner.Calls.empty());
    EXPECT_FALSE(std::filesystem::exists(Store.DriveC() / "Kelmora/Orvant"));
}

// Two extractions of one month at once would set each other's files aside.
TEST_F(ExtractionRun, ASecondExtractionOfTheMonthWhileOneRunsIsRefused)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 2);
    Store.Dir.MakeDir("c/Kelmora/Orvant/Enviar/2021");
    int error = 0;
    const auto running = orvant::platform::TFileLock::TryLock(
        (Store.DriveC() / "Kelmora/Orvant/Enviar/2021/03.lock").string(), error);
    ASSERT_TRUE(running.has_value());
    const TExtractionSummary summary = Run();
    EXPECT_TRUE(summary.Refused);
    ASSERT_EQ(View.Messages().size(), 1u);
    EXPECT_EQ(View.Messages()[0].rfind("Outra extração de 03/2021 está em andamento", 0), 0u);
    EXPECT_TRUE(Runner.Calls.empty());
    EXPECT_FALSE(std::filesystem::exists(Store.Staging("2021", "03", "PDV1", "")));
}

TEST_F(ExtractionRun, AnEnabledTerminalWithoutComputerNameMakesTheMonthIncomplete)
{
    Store.WriteConfig({"PDV1=TRUE"});
    Store.AddInvoices("", "Transmitidas", "202103", 1); // unc/Kelmora/... must not be taken as a share
    const TExtractionSummary summary = Run();
    const auto messages = View.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 2), (std::vector<std::string> {
        "Sem notas Transmitidas do PDV1 para Servidor", "Sem notas Canceladas do PDV1 para Servidor"}));
    EXPECT_NE(messages[2].find("sem o nome do computador (PDV1_COMPUTADOR)"), std::string::npos);
    EXPECT_EQ(messages[3].rfind("O m", 0), 0u);
    EXPECT_NE(messages[3].find("03/2021 ficou incompleto: 1 problema(s)"), std::string::npos);
    EXPECT_EQ(Runner.Calls.size(), 1u);
    EXPECT_FALSE(summary.AllComplete());
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

// With the report, every file copied is read: a sound month adds only the summary
// (no box) before the dialog; a month with problems shows them first. Either way
// the CSV and the summary file lie beside the archive.
TEST_F(ExtractionRun, TheMonthReportIsShownAndWrittenBesideTheArchive)
{
    Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=TRUE", "PDV2_COMPUTADOR=CAIXA02"});
    Store.AddInvoices("CAIXA01", "Transmitidas", "202103", 3);
    Store.AddInvoices("CAIXA01", "Canceladas", "202103", 1);
    const auto second = Store.AddInvoices("CAIXA02", "Transmitidas", "202103", 3);
    Store.AddInvoices("CAIXA02", "Canceladas", "202103", 1);
    const TWinFileSystem fs(Store.Roots());
    TArchiveStep archive(fs, Runner);
    const auto extract = [&] {
        View.Events.clear();
        TExtractionRun run(View, fs, archive);
        run.SetMonthReport({});
        return run.Execute(u"2021", u"Março");
    };
    TExtractionSummary summary = extract();

    const std::vector<std::string> sound = View.WithoutPositions();
    ASSERT_GE(sound.size(), 2u);
    EXPECT_EQ(sound[sound.size() - 2], "summary Mês conferido: 2 PDVs, 4 notas, R$ 40,00; nenhum problema");
    EXPECT_EQ(sound.back().rfind("dialog ", 0), 0u);
    EXPECT_TRUE(View.Messages().empty());
    ASSERT_TRUE(summary.Report);
    EXPECT_EQ(summary.Report->Totals.Cancelled, 2);
    const auto outbox = Store.DriveC() / "Kelmora/Orvant/Enviar/2021";
    const std::string csv = ReadFile(outbox / "03-resumo.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 8); // the header and one line per file
    EXPECT_NE(ReadFile(outbox / "03-resumo.txt").find("Nenhum problema encontrado."), std::string::npos);

    // The month again, with invoice 2 of PDV2 gone from its terminal.
    std::filesystem::remove(Store.SourceFolder("CAIXA02", "Transmitidas", "202103") / second[1]);
    summary = extract();
    ASSERT_EQ(summary.Report->Problems.size(), 1u);
    EXPECT_EQ(U8(summary.Report->Problems[0].Text).rfind("PDV2, série 2: falta a nota 2 ", 0), 0u);
    ASSERT_EQ(View.Messages().size(), 2u); // the earlier extraction set aside, then the report
    EXPECT_EQ(View.Messages().back().rfind("Mês conferido: 2 PDVs, 3 notas, R$ 30,00; 1 problema.\n- PDV2", 0), 0u);
    EXPECT_NE(ReadFile(outbox / "03-resumo.txt").find("Problemas:\r\n- PDV2, série 2: falta a nota 2 "),
              std::string::npos);
    // The first run's report went aside with its archive: a stale CSV never lies beside a new month.
    const auto aside = std::filesystem::directory_iterator(outbox / "anteriores")->path();
    EXPECT_EQ(ReadFile(aside / "03-resumo.csv"), csv);
}
