#include "app/ExtractionRun.h"

#include "app/FileDigest.h"
#include "app/FolderScheme.h"
#include "app/SendHistory.h"
#include "app/TerminalConfig.h"
#include "platform/IniFile.h"
#include "platform/Utf.h"

#include <filesystem>

namespace orvant::app {

bool TTerminalReport::Complete() const
{
    return (Issued.StagingExists || Cancelled.StagingExists) && Issued.Failed == 0
        && Cancelled.Failed == 0 && Archive.Succeeded();
}

bool TExtractionSummary::AllComplete() const
{
    if (Terminals.empty())
        return false;
    for (const auto& t : Terminals) {
        if (!t.Complete())
            return false;
    }
    return !Check.Checked || Check.Passed();
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

void TExtractionRun::CheckArchive(TExtractionSummary& summary, std::u16string_view yearText,
                                  std::u16string_view month,
                                  const std::vector<std::pair<std::u16string, std::u16string>>& terminalStaging)
{
    summary.Check = FArchiveCheck->Run(summary.AttachmentPath, terminalStaging);
    for (const auto& problem : summary.Check.Problems)
        FView.ShowMessage(problem);
    if (!FHistory || summary.Check.Problems.empty())
        return;

    THistoryEntry entry;
    entry.DateTime = HistoryDateTime(platform::TSystemClock().Now());
    entry.Year = std::u16string(yearText);
    entry.Month = std::u16string(month);
    entry.Event = std::u16string(kEventCheck);
    entry.Archive = summary.AttachmentPath;
    if (const auto archive = FFileSystem.Map(summary.AttachmentPath)) {
        std::error_code error;
        const auto size = std::filesystem::file_size(*archive, error);
        entry.Size = error ? u"" : platform::Utf8ToUtf16(std::to_string(size));
        entry.Sha256 = platform::Utf8ToUtf16(Sha256OfFile(*archive));
    }
    entry.FilesPerTerminal = FilesPerTerminal(summary.Check.Counts);
    entry.Result = u"divergência: ";
    for (std::size_t i = 0; i < summary.Check.Problems.size(); ++i)
        entry.Result += (i ? u" | " : u"") + summary.Check.Problems[i];
    try {
        FHistory->Append(entry);
    } catch (const std::exception& e) {
        FView.ShowMessage(u"Não foi possível gravar o histórico " + std::u16string(kSendHistoryPath) + u": "
                          + platform::Utf8ToUtf16(e.what()));
    }
}

TPassReport TExtractionRun::CopyPass(const std::u16string& sourceFolder, const std::u16string& pattern,
                                     const std::u16string& stagingFolder)
{
    TPassReport pass;
    if (FFileSystem.DirectoryExists(sourceFolder))
        FFileSystem.ForceDirectories(stagingFolder);

    for (const auto& entry : FFileSystem.FindFiles(pattern)) {
        if (!entry.IsDirectory)
            ++pass.Counted;
    }
    FView.SetProgressRange(pass.Counted);

    // The folder is listed again: a file that arrived after the count is still
    // copied, the bar then simply stays full.
    int position = 0;
    for (const auto& entry : FFileSystem.FindFiles(pattern)) {
        if (entry.IsDirectory)
            continue;
        const std::u16string target = StagingFilePath(stagingFolder, entry.Name);
        if (FFileSystem.CopyFile(SourceFilePath(sourceFolder, entry.Name), target)) {
            ++pass.Copied;
        } else {
            ++pass.Failed;
            FView.ShowMessage(u"Erro ao copiar XML para " + target);
        }
        FView.SetProgressPosition(++position);
    }
    return pass;
}

TExtractionSummary TExtractionRun::Execute(std::u16string_view yearText, std::u16string_view monthText)
{
    FView.SetExtractButton(false, kRunningCaption);

    // Read anew for every run; a missing file enables no terminal.
    const auto configPath = FFileSystem.Map(kConfigFilePath);
    const platform::TIniFile config = configPath ? platform::TIniFile::Load(*configPath) : platform::TIniFile();

    TExtractionSummary summary;
    std::u16string archiveBase;
    std::u16string month;
    std::vector<std::pair<std::u16string, std::u16string>> terminalStaging;
    for (int n = 1; n <= kTerminalCount; ++n) {
        const TTerminalEntry terminal = ReadTerminal(config, n);
        if (!terminal.Enabled)
            continue;
        month = MonthNumber(monthText);
        const TTerminalPaths paths = BuildTerminalPaths(terminal.ComputerName, terminal.Key, yearText, month);
        archiveBase = ArchiveBase(yearText, month);

        TTerminalReport report;
        report.Number = n;
        report.Key = terminal.Key;
        report.Issued = CopyPass(paths.IssuedSource, paths.IssuedPattern, paths.IssuedStaging);
        report.Cancelled = CopyPass(paths.CancelledSource, paths.CancelledPattern, paths.CancelledStaging);

        report.Archive = FArchiveStep.Run(terminal.Key, yearText, archiveBase, paths.TerminalStaging);
        if (!report.Archive.Succeeded())
            FView.ShowMessage(report.Archive.ErrorMessage);

        report.Issued.StagingExists = FFileSystem.DirectoryExists(paths.IssuedStaging);
        if (!report.Issued.StagingExists)
            FView.ShowMessage(u"Sem notas Transmitidas do " + terminal.Key + u" para " + u"Servidor");
        report.Cancelled.StagingExists = FFileSystem.DirectoryExists(paths.CancelledStaging);
        if (!report.Cancelled.StagingExists)
            FView.ShowMessage(u"Sem notas Canceladas do " + terminal.Key + u" para " + u"Servidor");
        summary.Terminals.push_back(std::move(report));
        terminalStaging.emplace_back(terminal.Key, paths.TerminalStaging);
    }

    summary.AttachmentPath = ArchiveFilePath(archiveBase);
    if (FArchiveCheck && !terminalStaging.empty())
        CheckArchive(summary, yearText, month, terminalStaging);
    FView.OpenSendDialog(summary.AttachmentPath);
    return summary;
}

} // namespace orvant::app
