#include "app/CliOptions.h"
#include "app/ConsoleView.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace orvant::app;
using orvant::platform::LocalDate;
using TCommand = TCliOptions::TCommand;

TEST(CliOptions, MonthAsNumberOrPortugueseName)
{
    for (const char* three : {"3", "03", "Março", "março", "MARÇO", "marco"})
        EXPECT_EQ(ParseMonth(three), 3) << three;
    EXPECT_EQ(ParseMonth("12"), 12);
    EXPECT_EQ(ParseMonth("dezembro"), 12);
    for (const char* bad : {"0", "13", "003", "Mar", "", "-1", "1a"})
        EXPECT_EQ(ParseMonth(bad), 0) << bad;
}

TEST(CliOptions, ExtractWithYearAndMonth)
{
    const auto now = LocalDate(2026, 12, 8);
    const auto o = ParseCliArguments({"extract", "--year", "2026", "--month", "11"}, now);
    EXPECT_EQ(o.Command, TCommand::cmExtract);
    EXPECT_EQ(o.Year, 2026);
    EXPECT_EQ(o.Month, 11);
    const auto eq = ParseCliArguments({"extract", "--month=Março", "--year=2021"}, now);
    EXPECT_EQ(eq.Year, 2021);
    EXPECT_EQ(eq.Month, 3);
}

TEST(CliOptions, DefaultsToTheMonthThatHasJustEnded)
{
    const auto dec = ParseCliArguments({"extract"}, LocalDate(2026, 12, 8));
    EXPECT_EQ(dec.Year, 2026);
    EXPECT_EQ(dec.Month, 11);
    const auto jan = ParseCliArguments({"extract"}, LocalDate(2027, 1, 2));
    EXPECT_EQ(jan.Year, 2026);
    EXPECT_EQ(jan.Month, 12);
    EXPECT_EQ(ParseCliArguments({"extract", "--month", "5"}, LocalDate(2027, 1, 2)).Year, 2027);
}

TEST(CliOptions, HelpAndMistakes)
{
    const auto now = LocalDate(2026, 12, 8);
    EXPECT_EQ(ParseCliArguments({"--help"}, now).Command, TCommand::cmHelp);
    EXPECT_EQ(ParseCliArguments({"extract", "-h"}, now).Command, TCommand::cmHelp);
    for (const auto& bad : std::vector<std::vector<std::string>> {
             {}, {"extrair"}, {"extract", "--year"}, {"extract", "--year", "26"}, {"extract", "--month", "13"},
             {"extract", "--dia", "1"}}) {
        const auto o = ParseCliArguments(bad, now);
        EXPECT_EQ(o.Command, TCommand::cmInvalid);
        EXPECT_FALSE(o.Error.empty());
    }
    EXPECT_NE(std::string(CliUsageText()).find("Uso: orvant-cli extract"), std::string::npos);
}

TEST(CliOptions, SendAndRunNeedTheStoreAndTheRecipient)
{
    const auto now = LocalDate(2026, 12, 8);
    const auto send = ParseCliArguments({"send", "--store", "Loja Centro", "--to=Ana <ana@example.com>", "--month",
                                         "3", "--attach", "/tmp/x.7z"}, now);
    EXPECT_EQ(send.Command, TCommand::cmSend);
    EXPECT_EQ(send.Store, "Loja Centro");
    EXPECT_EQ(send.To, "Ana <ana@example.com>");
    EXPECT_EQ(send.Attach, "/tmp/x.7z");
    EXPECT_EQ(send.Year, 2026);
    EXPECT_EQ(send.Month, 3);
    const auto run = ParseCliArguments({"run", "--to", "ana@example.com", "--store", "Loja"}, now);
    EXPECT_EQ(run.Command, TCommand::cmRun);
    EXPECT_EQ(run.Month, 11);
    for (const auto& bad : std::vector<std::vector<std::string>> {
             {"send", "--to", "ana@example.com"}, {"run", "--store", "Loja"},
             {"run", "--store", "Loja", "--to", "a@b.c", "--attach", "x.7z"}, {"extract", "--to", "a@b.c"}})
        EXPECT_EQ(ParseCliArguments(bad, now).Command, TCommand::cmInvalid) << bad.front();
    EXPECT_EQ(ParseCliArguments({"send", "--help"}, now).Command, TCommand::cmHelp);
}

// history filters only by what is given; --force belongs to the commands that mail.
TEST(CliOptions, HistoryAndForce)
{
    const auto now = LocalDate(2026, 12, 8);
    const auto all = ParseCliArguments({"history"}, now);
    EXPECT_EQ(all.Command, TCommand::cmHistory);
    EXPECT_EQ(all.Year, 0);
    EXPECT_EQ(all.Month, 0);
    const auto march = ParseCliArguments({"history", "--month", "Março"}, now);
    EXPECT_EQ(march.Year, 0);
    EXPECT_EQ(march.Month, 3);
    EXPECT_TRUE(ParseCliArguments({"run", "--store", "Loja", "--to", "a@b.c", "--force"}, now).Force);
    EXPECT_FALSE(ParseCliArguments({"send", "--store", "Loja", "--to", "a@b.c"}, now).Force);
    for (const auto& bad : std::vector<std::vector<std::string>> {
             {"history", "--store", "Loja"}, {"history", "--force"}, {"extract", "--force"}}) {
        const auto o = ParseCliArguments(bad, now);
        EXPECT_EQ(o.Command, TCommand::cmInvalid) << bad.back();
        EXPECT_EQ(o.Error.rfind("Opção desconhecida: ", 0), 0u) << o.Error;
    }
}

TEST(ConsoleView, OneMessageALineAndTheArchivePathOnStandardOutput)
{
    const orvant::platform::TWinPathMapper mapper({"/srv/c", "/srv/unc"});
    std::ostringstream err, out;
    TConsoleExtractionView view(err, out, mapper);
    view.SetProgressRange(10);
    view.ShowMessage(u"Sem notas Canceladas do PDV1 para Servidor");
    view.ShowMessage(u"linha um\nlinha dois\r\nlinha três");
    view.OpenSendDialog(u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z");
    EXPECT_EQ(err.str(), "Sem notas Canceladas do PDV1 para Servidor\nlinha um linha dois linha três\n");
    EXPECT_EQ(out.str(), "C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z -> /srv/c/Kelmora/Orvant/Enviar/2021/03.7z\n");
}
