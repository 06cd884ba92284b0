// orvant-cli: the monthly extraction and the mail dispatch without a display
// (servers, scheduled runs).
#include "app/ArchiveCheck.h"
#include "app/ArchiveStep.h"
#include "app/CliOptions.h"
#include "app/ConsoleView.h"
#include "app/ExtractionRun.h"
#include "app/FolderScheme.h"
#include "app/MailDispatch.h"
#include "app/SendHistory.h"
#include "app/StagedMonthReport.h"
#include "app/TerminalConfig.h"
#include "platform/DeploymentConfig.h"
#include "platform/FileModes.h"
#include "platform/Process.h"
#include "platform/ProgramConsole.h"
#include "platform/Utf.h"

#include <chrono>
#include <clocale>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

using namespace orvant;

namespace {

// A value of the deployment file cannot be used (the --help text names the codes).
constexpr int kExitDeploymentFile = 4;

std::u16string YearText(const app::TCliOptions& options)
{
    return platform::Utf8ToUtf16(std::to_string(options.Year));
}

std::u16string MonthName(const app::TCliOptions& options)
{
    return std::u16string(app::kMonthNames[static_cast<std::size_t>(options.Month - 1)]);
}

struct TExtracted {
    bool Complete = false; // every enabled terminal read, copied and archived, the archive checked
    bool Empty = false;    // terminals were read, and none had an invoice
    std::size_t ReportProblems = 0;
};

// Extracts the month and fills the archive's path.
TExtracted Extract(const app::TCliOptions& options, const platform::TDeploymentConfig& deployment,
                   std::u16string& archivePath)
{
    const platform::TWinFileSystem fileSystem(deployment.Roots);
    platform::TSpawnProcessRunner runner(deployment.ArchiverTimeLimit);
    app::TArchiveStep archiveStep(fileSystem, runner);
    app::TConsoleExtractionView view(std::cerr, std::cout, fileSystem.Mapper());
    app::TExtractionRun run(view, fileSystem, archiveStep);
    app::TArchiveCheck check(fileSystem, runner, archiveStep.Archiver());
    const app::TSendHistory history = app::TSendHistory::ForDeployment(deployment.Roots);
    run.SetArchiveCheck(check, &history);
    run.SetMonthReport(deployment.StoreCnpjs);
    const app::TExtractionSummary summary = run.Execute(YearText(options), MonthName(options));
    archivePath = summary.AttachmentPath;

    if (summary.Refused)
        return {};
    if (summary.Terminals.empty()) {
        std::cerr << "Nenhum PDV habilitado em " << platform::Utf16ToUtf8(app::kConfigFilePath)
                  << " (valor TRUE na seção [PDV]); nada foi extraído." << std::endl;
        return {};
    }
    const bool empty = summary.Manifest.Complete() && summary.Manifest.Files.empty();
    int copied = 0;
    for (const auto& t : summary.Terminals)
        copied += t.Issued.Copied + t.Cancelled.Copied;
    std::cerr << copied << " arquivos XML copiados de " << summary.Terminals.size() << " PDVs." << std::endl;
    // "Arquivo conferido" promises the whole month; an archive that only matches an
    // incomplete or empty manifest gets no such line.
    if (summary.Check.Passed() && summary.Manifest.Complete() && !empty)
        std::cerr << platform::Utf16ToUtf8(app::CheckedLine(summary.Check)) << std::endl;
    if (!summary.ManifestPath.empty())
        std::cerr << "Manifesto do mês: " << platform::Utf16ToUtf8(summary.ManifestPath) << " ("
                  << platform::Utf16ToUtf8(summary.Manifest.StateText()) << ")." << std::endl;
    return {summary.AllComplete(), empty, summary.Report ? summary.Report->Problems.size() : 0};
}

// The month's report made again from the extracted files: the summary, then one
// line per problem. 0 when there is none.
int Report(const app::TCliOptions& options, const platform::TDeploymentConfig& deployment)
{
    const platform::TWinFileSystem fileSystem(deployment.Roots);
    const std::u16string year = YearText(options);
    const std::u16string month = app::MonthNumber(MonthName(options));
    const auto report = app::ReportStagedMonth(fileSystem, year, month, deployment.StoreCnpjs);
    if (!report) {
        std::cerr << "O mês " << platform::Utf16ToUtf8(month + u"/" + year) << " não foi extraído ("
                  << platform::Utf16ToUtf8(app::MonthStagingFolder(year, month))
                  << " não existe). Extraia-o primeiro: orvant-cli extract." << std::endl;
        return 1;
    }
    std::cout << platform::Utf16ToUtf8(report->Summary()) << "\n";
    for (const auto& problem : report->Problems)
        std::cout << "- " << platform::Utf16ToUtf8(problem.Text) << "\n";
    std::cout.flush();
    return report->Problems.empty() ? 0 : 1;
}

// Exit status of a mail that the server accepted but the history could not record.
constexpr int kExitDeliveredNotRecorded = 3;

// Mails the attachment as "Enviar E-mail" does: the month's archive only as its
// check sealed it, a file given with --attach as it is. An incomplete or empty
// month goes only from send with --force, never from run; a month already
// delivered to the address only with --force. The dispatch checks that, sends
// and records under the history's lock. The exit status.
int Send(const app::TCliOptions& options, const platform::TDeploymentConfig& deployment,
         const std::u16string& attachmentPath)
{
    const app::TMailDispatchInput input {MonthName(options), YearText(options), platform::Utf8ToUtf16(options.Store),
                                         platform::Utf8ToUtf16(options.To), attachmentPath, !options.Attach.empty()};
    const app::TSendHistory history = app::TSendHistory::ForDeployment(deployment.Roots);
    app::TConsoleDispatchView view(std::cerr, options.Force && options.Command == app::TCliOptions::TCommand::cmSend,
                                   options.Force);
    app::TMailDispatch dispatch(view, app::TMailSettings::FromDeployment(deployment), deployment.Roots);
    dispatch.SetHistory(&history);
    const auto started = std::chrono::steady_clock::now();
    const app::TMailDispatchResult result = dispatch.Send(input);
    const bool delivered = result == app::TMailDispatchResult::mdDelivered
        || result == app::TMailDispatchResult::mdDeliveredNotRecorded;
    const auto& sizes = dispatch.MessageSizes();
    if (delivered && sizes.size() > 1) {
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::cerr << "Enviado em " << sizes.size() << " partes (mensagens de";
        for (const auto size : sizes)
            std::cerr << " " << size;
        std::cerr << " bytes) em " << static_cast<long long>(seconds + 0.5) << " s." << std::endl;
    }
    if (result == app::TMailDispatchResult::mdDeliveredNotRecorded)
        return kExitDeliveredNotRecorded;
    return delivered ? 0 : 1;
}

// The send history as a table, all of it or the given year and/or month.
int History(const app::TCliOptions& options, const platform::TDeploymentConfig& deployment)
{
    const app::TSendHistory history = app::TSendHistory::ForDeployment(deployment.Roots);
    std::vector<app::THistoryEntry> shown;
    const std::size_t skipped = history.ForEachEntry([&](app::THistoryEntry&& e) {
        if (options.Year && e.Year != YearText(options))
            return;
        if (options.Month && e.Month != app::MonthNumber(MonthName(options)))
            return;
        shown.push_back(std::move(e));
    });
    if (skipped)
        std::cerr << skipped << " linha(s) ilegível(is) de " << history.Path()
                  << " ignorada(s) (cortada(s) no meio da gravação, por exemplo)." << std::endl;
    if (shown.empty()) {
        std::cerr << "Nenhum envio registrado em " << history.Path() << "." << std::endl;
        return 0;
    }
    std::cout << app::HistoryTable(shown);
    return 0;
}

// --attach: Windows path text as it stands, a Linux path made absolute.
std::u16string AttachmentArgument(const std::string& argument)
{
    const std::u16string text = platform::Utf8ToUtf16(argument);
    if (platform::LooksLikeWinAbsolutePath(text))
        return text;
    return platform::Utf8ToUtf16(std::filesystem::absolute(argument).lexically_normal().string());
}

} // namespace

int main(int argc, char** argv)
{
    using TCommand = app::TCliOptions::TCommand;
    std::setlocale(LC_ALL, "");
    // Before anything is written: invoices, addresses and server replies are for
    // the owner and the group only, also in what 7-Zip creates.
    platform::RestrictCreatedFileModes();
    platform::UseUtf8Console();
    const std::vector<std::string> args = platform::ProgramArguments(argc, argv);
    const app::TCliOptions options = app::ParseCliArguments(args, platform::TSystemClock().Now());
    switch (options.Command) {
    case TCommand::cmHelp:
        std::cout << app::CliUsageText();
        return 0;
    case TCommand::cmInvalid:
        std::cerr << options.Error << "\n\n" << app::CliUsageText();
        return 2;
    default:
        break;
    }

    const platform::TDeploymentConfig deployment = platform::LoadDeploymentConfig();
    if (!deployment.Problems.empty()) {
        for (const auto& problem : deployment.Problems)
            std::cerr << platform::Utf16ToUtf8(problem) << std::endl;
        std::cerr << "Corrija o arquivo de implantação e rode de novo; nada foi feito." << std::endl;
        return kExitDeploymentFile;
    }
    if (!deployment.FileFound)
        std::cerr << "Aviso: arquivo de implantação " << deployment.SourcePath
                  << " não encontrado; usando C: em " << deployment.Roots.DriveC
                  << " e a rede em " << deployment.Roots.Network << std::endl;
    if (const auto warning = platform::WorldReadablePasswordWarning(deployment.SourcePath, !deployment.Password.empty()))
        std::cerr << *warning << std::endl;

    // A recipient or store name that cannot go is said before any of the month's work.
    if (options.Command == TCommand::cmSend || options.Command == TCommand::cmRun) {
        const std::u16string problem = app::SendInputProblem(
            {MonthName(options), YearText(options), platform::Utf8ToUtf16(options.Store),
             platform::Utf8ToUtf16(options.To), {}});
        if (!problem.empty()) {
            std::cerr << platform::Utf16ToUtf8(problem) << std::endl;
            return 2;
        }
    }

    std::u16string archivePath;
    switch (options.Command) {
    case TCommand::cmExtract:
        return Extract(options, deployment, archivePath).Complete ? 0 : 1;
    case TCommand::cmSend:
        archivePath = options.Attach.empty()
            ? app::ArchiveFilePath(app::ArchiveBase(YearText(options), app::MonthNumber(MonthName(options))))
            : AttachmentArgument(options.Attach);
        return Send(options, deployment, archivePath);
    case TCommand::cmHistory:
        return History(options, deployment);
    case TCommand::cmReport:
        return Report(options, deployment);
    case TCommand::cmRun: {
        const TExtracted extracted = Extract(options, deployment, archivePath);
        if (!extracted.Complete) {
            // An incomplete archive would reach the accountant as if it were the month.
            std::cerr << (extracted.Empty
                              ? "O e-mail não foi enviado: nenhum PDV habilitado tinha notas do mês."
                              : "O e-mail não foi enviado porque a extração não ficou completa. Corrija e rode de "
                                "novo, ou envie o que foi extraído com orvant-cli send.")
                      << std::endl;
            return 1;
        }
        if (extracted.ReportProblems && deployment.StopOnReportProblems) {
            std::cerr << "O e-mail não foi enviado: a conferência achou " << extracted.ReportProblems
                      << " problema(s) e o arquivo de implantação pede para parar (StopOnProblems=1 na seção "
                         "[Report]). Corrija e rode de novo, ou envie o mês assim com orvant-cli send."
                      << std::endl;
            return 1;
        }
        return Send(options, deployment, archivePath);
    }
    default:
        return 2;
    }
}
