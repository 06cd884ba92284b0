#include "app/ExtractionRun.h"

#include "app/FileErrorText.h"
#include "app/FolderScheme.h"
#include "app/MonthReportFiles.h"
#include "app/PeriodSelection.h"
#include "app/PreviousExtraction.h"
#include "app/SendHistory.h"
#include "platform/IniFile.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>

namespace orvant::app {

namespace {

using platform::TCopiedFile;
using platform::Utf8ToUtf16;

std::u16string Number(std::size_t value)
{
    return Utf8ToUtf16(std::to_string(value));
}

// What kept one file out, for the manifest and the run's closing message.
std::u16string CopyProblemText(const TCopiedFile& copied, const std::u16string& source, const std::u16string& share)
{
    using TProblem = TCopiedFile::TProblem;
    switch (copied.Problem) {
    case TProblem::cpNotRegular:
        return source + u" não é um arquivo comum (" + Utf8ToUtf16(copied.Kind) + u") e não foi copiado.";
    case TProblem::cpOutsideShare:
        return source + u" é um link que leva para fora da pasta de rede " + share + u" e não foi copiado.";
    case TProblem::cpChanged:
        return source + u" mudou durante a cópia (o PDV ainda o gravava?) e não foi copiado.";
    case TProblem::cpUnwritable:
        return u"A cópia de " + source + u" não pôde ser gravada: " + FileErrorText(copied.Error) + u".";
    default:
        return source + u" não pôde ser lido: " + FileErrorText(copied.Error) + u".";
    }
}

} // namespace

struct TExtractionRun::TPass {
    std::u16string_view Folder; // kIssuedFolder or kCancelledFolder
    const std::u16string& Source;
    const std::u16string& Pattern;
    const std::u16string& Staging;
    const std::u16string& Share;
    bool ShareReachable;
};

std::u16string MonthReportMessage(const TMonthReport& report, std::u16string_view summaryPath)
{
    return report.Summary() + u"." + report.ProblemList(TExtractionRun::kProblemsShown) + u"\nTodos estão em "
        + std::u16string(summaryPath) + u". Os problemas não impedem o envio, mas o contador vai perguntar por eles: "
          u"corrija o que puder no PDV e extraia o mês de novo.";
}

bool TTerminalReport::Complete() const
{
    return (Issued.StagingExists || Cancelled.StagingExists) && Issued.Failed == 0 && Cancelled.Failed == 0
        && Archive.Succeeded() && Problems.empty();
}

bool TExtractionSummary::AllComplete() const
{
    if (Refused || Terminals.empty())
        return false;
    for (const auto& t : Terminals) {
        if (!t.Complete())
            return false;
    }
    return Manifest.Complete() && Check.Problems.empty();
}

TExtractionRun::TExtractionRun(IExtractionView& view, const platform::TWinFileSystem& fileSystem,
                               TArchiveStep& archiveStep)
    : FView(view), FFileSystem(fileSystem), FArchiveStep(archiveStep)
{
}

void TExtractionRun::SetArchiveCheck(TArchiveCheck& check, const TSendHistory* history)
{
    FArchiveCheck = &check;
    FHistory = history;
}

void TExtractionRun::SetMonthReport(std::vector<std::string> storeCnpjs)
{
    FReportCnpjs = std::move(storeCnpjs);
}

void TExtractionRun::Problem(TTerminalReport& report, TMonthManifest& manifest, std::u16string text)
{
    report.Problems.push_back(text);
    manifest.Problems.push_back({report.Key, std::move(text)});
}

TPassReport TExtractionRun::CopyPass(const TPass& p, TTerminalReport& report, TMonthManifest& manifest)
{
    TPassReport pass;
    const bool sourceExists = FFileSystem.DirectoryExists(p.Source);
    if (sourceExists)
        FFileSystem.ForceDirectories(p.Staging);

    for (const auto& entry : FFileSystem.FindFiles(p.Pattern)) {
        if (!entry.IsDirectory)
            ++pass.Counted;
    }
    FView.SetProgressRange(pass.Counted);

    // The folder is listed again: a file that arrived after the count is still
    // copied, the bar then simply stays full.
    const platform::TFindResult listing = FFileSystem.FindFilesChecked(p.Pattern);
    TManifestFolder record {report.Key, std::u16string(p.Folder), p.Source, u"ausente"};
    if (listing.Error && sourceExists && p.ShareReachable) {
        record.State = u"ilegível";
        Problem(report, manifest, u"Não foi possível listar a pasta " + p.Source + u" do " + report.Key + u": "
                                      + FileErrorText(listing.Error) + u".");
        FView.ShowMessage(report.Problems.back());
    }
    int position = 0;
    for (std::size_t i = 0; i < listing.Entries.size(); ++i) {
        const auto& entry = listing.Entries[i];
        if (entry.IsDirectory)
            continue;
        const std::u16string source = SourceFilePath(p.Source, entry.Name);
        const std::u16string target = StagingFilePath(p.Staging, entry.Name);
        std::string content;
        const TCopiedFile copied = FFileSystem.CopyFromShare(p.Share, source, target, entry.IsRegularFile,
                                                             FMonthCheck ? &content : nullptr);
        if (copied.Ok()) {
            ++pass.Copied;
            if (FMonthCheck)
                FMonthCheck->Add(report.Key, p.Folder, entry.Name, std::move(content), copied.Size);
            manifest.Files.push_back({report.Key, p.Folder, entry.Name, copied.Size,
                                      ManifestTime(copied.ModifiedUnix), copied.Crc32});
            FView.SetProgressPosition(++position);
            continue;
        }
        ++pass.Failed;
        Problem(report, manifest, CopyProblemText(copied, source, p.Share));
        const bool notAnInvoice = copied.Problem == TCopiedFile::TProblem::cpNotRegular
            || copied.Problem == TCopiedFile::TProblem::cpOutsideShare;
        FView.ShowMessage(notAnInvoice ? report.Problems.back() : u"Erro ao copiar XML para " + target);
        FView.SetProgressPosition(++position);
        // A share that went away mid-copy fails every file left: one message for
        // them all instead of one box per invoice.
        if (!notAnInvoice && !FFileSystem.DirectoryExists(p.Source)) {
            const auto left = static_cast<std::size_t>(
                std::count_if(listing.Entries.begin() + static_cast<std::ptrdiff_t>(i) + 1, listing.Entries.end(),
                              [](const platform::TFindEntry& e) { return !e.IsDirectory; }));
            pass.Failed += static_cast<int>(left);
            Problem(report, manifest, u"A pasta " + p.Source + u" deixou de estar acessível durante a cópia: "
                                          + Number(left + 1) + u" arquivo(s) do " + report.Key
                                          + u" não foram copiados.");
            FView.ShowMessage(report.Problems.back());
            FView.SetProgressPosition(pass.Counted);
            break;
        }
    }
    if (sourceExists && record.State != u"ilegível")
        record.State = Number(static_cast<std::size_t>(pass.Copied)) + u" arquivos copiados";
    manifest.Folders.push_back(std::move(record));
    return pass;
}

void TExtractionRun::HandleTerminal(const TTerminalEntry& terminal, int number, std::u16string_view year,
                                    std::u16string_view month, TExtractionSummary& summary)
{
    TMonthManifest& manifest = summary.Manifest;
    manifest.Terminals.push_back({terminal.Key, terminal.ComputerName});
    const TTerminalPaths paths = BuildTerminalPaths(terminal.ComputerName, terminal.Key, year, month);
    const std::u16string share = TerminalShare(terminal.ComputerName);
    const std::u16string invoices = TerminalInvoiceFolder(terminal.ComputerName);
    // The mount point of a share that is not mounted is an empty folder: the
    // terminal counts as reachable when its invoice tree is there.
    const bool reachable = !terminal.ComputerName.empty() && FFileSystem.DirectoryExists(invoices);

    TTerminalReport report;
    report.Number = number;
    report.Key = terminal.Key;
    report.Issued = CopyPass({kIssuedFolder, paths.IssuedSource, paths.IssuedPattern, paths.IssuedStaging, share,
                              reachable}, report, manifest);
    report.Cancelled = CopyPass({kCancelledFolder, paths.CancelledSource, paths.CancelledPattern,
                                 paths.CancelledStaging, share, reachable}, report, manifest);
    const bool stillReachable = reachable && FFileSystem.DirectoryExists(invoices);

    report.Archive = FArchiveStep.Run(terminal.Key, year, ArchiveBase(year, month), paths.TerminalStaging);
    if (!report.Archive.Succeeded())
        FView.ShowMessage(report.Archive.ErrorMessage);

    report.Issued.StagingExists = FFileSystem.DirectoryExists(paths.IssuedStaging);
    if (!report.Issued.StagingExists)
        FView.ShowMessage(u"Sem notas Transmitidas do " + terminal.Key + u" para " + u"Servidor");
    report.Cancelled.StagingExists = FFileSystem.DirectoryExists(paths.CancelledStaging);
    if (!report.Cancelled.StagingExists)
        FView.ShowMessage(u"Sem notas Canceladas do " + terminal.Key + u" para " + u"Servidor");

    std::u16string unreachable;
    if (terminal.ComputerName.empty())
        unreachable = u"O " + terminal.Key + u" está habilitado em " + std::u16string(kConfigFilePath)
            + u", mas sem o nome do computador (" + ComputerKey(terminal.Key) + u"): as notas dele não foram lidas.";
    else if (!reachable)
        unreachable = u"Não foi possível acessar a pasta de rede " + invoices + u" do " + terminal.Key
            + u" (computador desligado, fora da rede ou pasta não compartilhada): as notas dele não foram lidas.";
    else if (!stillReachable)
        unreachable = u"A pasta de rede " + invoices + u" do " + terminal.Key
            + u" deixou de estar acessível durante a cópia: as notas dele podem estar incompletas.";
    if (!unreachable.empty()) {
        Problem(report, manifest, unreachable);
        FView.ShowMessage(unreachable);
    }
    summary.Terminals.push_back(std::move(report));
}

void TExtractionRun::CheckArchive(TExtractionSummary& summary)
{
    summary.Check = FArchiveCheck->Run(summary.AttachmentPath, summary.Manifest);
    for (const auto& problem : summary.Check.Problems)
        FView.ShowMessage(problem);
    summary.Manifest.Seal = summary.Check.Seal;
}

void TExtractionRun::WriteManifest(TExtractionSummary& summary)
{
    const std::u16string path = ManifestPathFor(summary.AttachmentPath);
    if (const int error = FFileSystem.WriteFileWhole(path, ManifestText(summary.Manifest))) {
        FView.ShowMessage(u"Não foi possível gravar o manifesto " + path + u" (" + FileErrorText(error)
                          + u"). Sem ele o mês não pode ser enviado; extraia o mês de novo.");
        return;
    }
    summary.ManifestPath = path;
}

// A history that cannot be written is said, and the run goes on: the month itself is there.
void TExtractionRun::AppendToHistory(const THistoryEntry& entry)
{
    try {
        FHistory->Append(entry);
    } catch (const std::exception& e) {
        FView.ShowMessage(u"Não foi possível gravar o histórico " + std::u16string(kSendHistoryPath) + u": "
                          + Utf8ToUtf16(e.what()));
    }
}

void TExtractionRun::RecordProblems(const TExtractionSummary& summary)
{
    const TMonthManifest& manifest = summary.Manifest;
    if (!FHistory || (manifest.Complete() && summary.Check.Problems.empty()))
        return;
    THistoryEntry entry;
    entry.DateTime = HistoryDateTime(platform::TSystemClock().Now());
    entry.Year = manifest.Year;
    entry.Month = manifest.Month;
    entry.Event = std::u16string(kEventCheck);
    entry.Archive = summary.AttachmentPath;
    entry.Manifest = summary.ManifestPath;
    entry.FilesPerTerminal = summary.Check.Counts.empty() ? manifest.FilesPerTerminal()
                                                          : FilesPerTerminal(summary.Check.Counts);
    entry.State = manifest.StateText();
    if (manifest.Seal) {
        entry.Size = Utf8ToUtf16(std::to_string(manifest.Seal->ArchiveSize));
        entry.Sha256 = Utf8ToUtf16(manifest.Seal->ArchiveSha256);
    }
    std::vector<std::u16string> problems = summary.Check.Problems;
    for (const auto& p : manifest.Problems)
        problems.push_back(p.Text);
    entry.Result = (summary.Check.Problems.empty() ? u"incompleto: " : u"divergência: ");
    for (std::size_t i = 0; i < problems.size(); ++i)
        entry.Result += (i ? u" | " : u"") + problems[i];
    AppendToHistory(entry);
}

void TExtractionRun::ReportMonth(TExtractionSummary& summary)
{
    TMonthCheckWorker::TFinished finished = FMonthCheck->Finish();
    FMonthCheck.reset();
    const TMonthReport& report = summary.Report.emplace(std::move(finished.Report));
    const std::u16string summaryPath = ReportSummaryPathFor(summary.AttachmentPath);
    for (const auto& [path, text] : {std::pair {ReportCsvPathFor(summary.AttachmentPath), &finished.Csv},
                                     std::pair {summaryPath, &finished.Summary}}) {
        if (const int error = FFileSystem.WriteFileWhole(path, *text))
            FView.ShowMessage(u"Não foi possível gravar " + path + u" (" + FileErrorText(error)
                              + u"). O mês foi conferido, mas o resumo não ficou ao lado do arquivo.");
    }
    FView.ShowMonthReport(report, summaryPath);
    if (FHistory)
        RecordReport(summary, summaryPath);
}

void TExtractionRun::RecordReport(const TExtractionSummary& summary, const std::u16string& summaryPath)
{
    const TMonthReport& report = *summary.Report;
    THistoryEntry entry;
    entry.DateTime = HistoryDateTime(platform::TSystemClock().Now());
    entry.Year = report.Year;
    entry.Month = report.Month;
    entry.Event = std::u16string(kEventReport);
    entry.Archive = summary.AttachmentPath;
    entry.Manifest = summaryPath;
    entry.FilesPerTerminal = ReportTotalsPerTerminal(report);
    entry.State = report.Summary();
    // The first problems only: a month can have thousands, and a history line must
    // stay short enough to be read back; the summary file has them all.
    entry.Result = report.Problems.empty() ? u"nenhum problema" : Number(report.Problems.size()) + u" problema(s): ";
    for (std::size_t i = 0; i < report.Problems.size() && i < kProblemsShown; ++i)
        entry.Result += (i ? u" | " : u"") + report.Problems[i].Text;
    if (report.Problems.size() > kProblemsShown)
        entry.Result += u" | (e mais " + Number(report.Problems.size() - kProblemsShown) + u")";
    AppendToHistory(entry);
}

std::optional<platform::TFileLock> TExtractionRun::LockMonth(std::u16string_view year, const std::u16string& month)
{
    const std::u16string lockPath = MonthLockPath(ArchiveBase(year, month));
    FFileSystem.ForceDirectories(OutboxYearFolder(year));
    int error = ENOENT;
    const auto mapped = FFileSystem.Map(lockPath);
    auto lock = mapped ? platform::TFileLock::TryLock(*mapped, error) : std::nullopt;
    if (!lock)
        FView.ShowMessage(error == EWOULDBLOCK
            ? u"Outra extração de " + month + u"/" + std::u16string(year) + u" está em andamento (em outra janela do "
              u"Orvant ou num agendamento do orvant-cli). Espere ela terminar e extraia de novo."
            : u"Não foi possível criar " + lockPath + u" (" + FileErrorText(error) + u"). Nada foi extraído.");
    return lock;
}

bool TExtractionRun::SetEarlierExtractionAside(std::u16string_view year, const std::u16string& month,
                                               TExtractionSummary& summary)
{
    const platform::TLocalDateTime now = platform::TSystemClock().Now();
    summary.Manifest.ExtractedAt = HistoryDateTime(now);
    const TSetAside aside = SetPreviousExtractionAside(FFileSystem, year, month, now);
    if (!aside.Error.empty()) {
        FView.ShowMessage(aside.Error);
        return false;
    }
    summary.SetAsideFolder = aside.Folder;
    if (!aside.Folder.empty())
        FView.ShowMessage(u"A extração anterior de " + month + u"/" + std::u16string(year) + u" foi guardada em "
                          + aside.Folder + u"; o mês é extraído de novo do zero.");
    return true;
}

void TExtractionRun::SayWhatIsMissing(const TMonthManifest& manifest)
{
    const std::u16string month = manifest.Month + u"/" + manifest.Year;
    if (!manifest.Complete())
        FView.ShowMessage(u"O mês " + month + u" ficou incompleto: " + Number(manifest.Problems.size())
                          + u" problema(s) deixaram notas de fora." + manifest.ProblemList()
                          + u"\nNão envie este arquivo como se fosse o mês inteiro: corrija e extraia de novo.");
    else if (manifest.Files.empty())
        FView.ShowMessage(u"Nenhuma nota de " + month
                          + u" foi encontrada nos PDVs habilitados: o arquivo do mês está vazio.");
}

TExtractionSummary TExtractionRun::Execute(std::u16string_view yearText, std::u16string_view monthText)
{
    TExtractionSummary summary;
    const std::u16string month = MonthNumber(monthText);
    if (month.empty() || !IsYearText(yearText)) {
        summary.Refused = true;
        FView.ShowMessage(u"Escolha o ano e o mês nas listas antes de extrair (ano \"" + std::u16string(yearText)
                          + u"\", mês \"" + std::u16string(monthText) + u"\"). Nada foi extraído.");
        return summary;
    }
    FView.SetExtractButton(false, kRunningCaption);

    // Read anew for every run; a missing file enables no terminal.
    const auto configPath = FFileSystem.Map(kConfigFilePath);
    const platform::TIniFile config = configPath ? platform::TIniFile::Load(*configPath) : platform::TIniFile();
    std::vector<std::pair<int, TTerminalEntry>> enabled;
    for (int n = 1; n <= kTerminalCount; ++n) {
        if (TTerminalEntry terminal = ReadTerminal(config, n); terminal.Enabled)
            enabled.emplace_back(n, std::move(terminal));
    }
    if (enabled.empty()) {
        summary.AttachmentPath = ArchiveFilePath(u"");
        FView.OpenSendDialog(summary.AttachmentPath);
        return summary;
    }

    const auto lock = LockMonth(yearText, month);
    if (!lock || !SetEarlierExtractionAside(yearText, month, summary)) {
        summary.Refused = true;
        return summary;
    }
    summary.Manifest.Year = std::u16string(yearText);
    summary.Manifest.Month = month;
    if (FReportCnpjs)
        FMonthCheck = std::make_unique<TMonthCheckWorker>(std::u16string(yearText), month, *FReportCnpjs);
    for (const auto& [number, terminal] : enabled) {
        if (FMonthCheck)
            FMonthCheck->AddTerminal(TerminalKey(number));
        HandleTerminal(terminal, number, yearText, month, summary);
    }

    summary.AttachmentPath = ArchiveFilePath(ArchiveBase(yearText, month));
    if (FMonthCheck)
        FMonthCheck->Close(!summary.Manifest.Complete()); // checked while the archive is
    if (FArchiveCheck)
        CheckArchive(summary);
    WriteManifest(summary);
    SayWhatIsMissing(summary.Manifest);
    RecordProblems(summary);
    if (FMonthCheck)
        ReportMonth(summary);
    FView.OpenSendDialog(summary.AttachmentPath);
    return summary;
}

} // namespace orvant::app
