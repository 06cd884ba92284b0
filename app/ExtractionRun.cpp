#include "app/ExtractionRun.h"

#include "app/FolderScheme.h"
#include "app/TerminalConfig.h"
#include "platform/IniFile.h"

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
    return true;
}

TExtractionRun::TExtractionRun(IExtractionView& view, const platform::TWinFileSystem& fileSystem,
                               TArchiveStep& archiveStep)
    : FView(view), FFileSystem(fileSystem), FArchiveStep(archiveStep)
{
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
    for (int n = 1; n <= kTerminalCount; ++n) {
        const TTerminalEntry terminal = ReadTerminal(config, n);
        if (!terminal.Enabled)
            continue;
        const std::u16string month = MonthNumber(monthText);
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
    }

    summary.AttachmentPath = ArchiveFilePath(archiveBase);
    FView.OpenSendDialog(summary.AttachmentPath);
    return summary;
}

} // namespace orvant::app
