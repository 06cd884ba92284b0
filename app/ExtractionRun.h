#pragma once
// The monthly extraction run behind "Extrair XML": for each enabled terminal, in
// ascending order, copy the month's issued and then cancelled invoice files from
// the terminal's share into the staging tree (each pass counts, then copies, so
// the progress bar knows its range), have the archive step pack the terminal,
// report what is missing; finally hand the archive over to a new send dialog.
//
// The month is built afresh (what an earlier run left is set aside first) and
// proven: every invoice copied goes into the month's manifest with its CRC-32,
// and so does everything that kept invoices out (a share that cannot be reached,
// a folder that cannot be listed, a file that is no regular file or cannot be
// read). The archive is then checked against the manifest, and the manifest is
// written beside the archive with the check's seal. Any such problem makes the
// month incomplete, and the run says so, naming the terminal and the reason.
//
// The run talks to its window only through IExtractionView, so the same class
// serves the main window and the headless orvant-cli.

#include "app/ArchiveCheck.h"
#include "app/ArchiveStep.h"
#include "app/MonthManifest.h"
#include "app/MonthCheckWorker.h"
#include "app/MonthReport.h"
#include "app/TerminalConfig.h"
#include "platform/FileLock.h"
#include "platform/WinFileSystem.h"

#include <memory>
#include <optional>

#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

class IExtractionView {
public:
    virtual ~IExtractionView() = default;
    virtual void SetExtractButton(bool enabled, std::u16string_view caption) = 0;
    virtual void SetProgressRange(int maximum) = 0; // range 0..maximum, position 0
    virtual void SetProgressPosition(int position) = 0;
    // Modal: returns when the user has closed the message.
    virtual void ShowMessage(std::u16string_view text) = 0;
    virtual void OpenSendDialog(std::u16string_view attachmentPath) = 0;
    // The month's report, before OpenSendDialog (so the dialog can say how many
    // problems there are): the summary in one line without a box; the problems,
    // if any, as MonthReportMessage says them. `summaryPath`: the file with all.
    virtual void ShowMonthReport(const TMonthReport& report, std::u16string_view summaryPath) = 0;
};

// The summary, the first problems one a line, where all of them are and that they
// do not stop the send.
std::u16string MonthReportMessage(const TMonthReport& report, std::u16string_view summaryPath);

struct TPassReport {
    int Counted = 0;
    int Copied = 0;
    int Failed = 0;
    bool StagingExists = false; // the staging folder existed after the run
};

struct TTerminalReport {
    int Number = 0;
    std::u16string Key;
    TPassReport Issued;
    TPassReport Cancelled;
    TArchiveOutcome Archive;
    std::vector<std::u16string> Problems; // what kept its invoices out of the month

    // Files were found and all of them were copied and archived.
    bool Complete() const;
};

struct TExtractionSummary {
    // Nothing was touched: the month or year named no entry, another extraction of
    // the month was running, or the earlier one could not be set aside.
    bool Refused = false;
    std::vector<TTerminalReport> Terminals; // the enabled ones, in the order handled
    std::u16string AttachmentPath;          // what the send dialog was given
    TMonthManifest Manifest;
    std::u16string ManifestPath;            // where it was written; empty when it was not
    std::u16string SetAsideFolder;          // where the earlier extraction went, if any
    TArchiveCheckResult Check;              // when the run was given a check
    std::optional<TMonthReport> Report;     // when the run was asked for the month's report

    // At least one terminal, every one complete, nothing missing from the
    // manifest, and the archive passed its check (when it was checked).
    bool AllComplete() const;
};

class TSendHistory;
struct THistoryEntry;

class TExtractionRun {
public:
    static constexpr std::u16string_view kRunningCaption = u"Extraindo...";
    // Problems of the month's report listed in its message; the summary file has them all.
    static constexpr std::size_t kProblemsShown = 10;

    TExtractionRun(IExtractionView& view, const platform::TWinFileSystem& fileSystem,
                   TArchiveStep& archiveStep);

    // yearText and monthText are the texts of the selected entries. A year that is
    // not four digits or a month that names no entry is refused before anything
    // is touched: a path without its month would gather other months' files.
    TExtractionSummary Execute(std::u16string_view yearText, std::u16string_view monthText);

    // After the last terminal, before the send dialog opens, the archive is
    // checked against the manifest; each problem is shown and, with a history,
    // recorded there. The dialog opens all the same: a send verifies again.
    void SetArchiveCheck(TArchiveCheck& check, const TSendHistory* history);

    // Every file copied is also read for the month's report (TMonthCheck), which
    // is written beside the archive, shown and, with a history, recorded there.
    // `storeCnpjs` as TMonthCheck takes them.
    void SetMonthReport(std::vector<std::string> storeCnpjs);

private:
    struct TPass;
    TPassReport CopyPass(const TPass& pass, TTerminalReport& report, TMonthManifest& manifest);
    void HandleTerminal(const TTerminalEntry& terminal, int number, std::u16string_view year,
                        std::u16string_view month, TExtractionSummary& summary);
    void Problem(TTerminalReport& report, TMonthManifest& manifest, std::u16string text);
    // The month's lock, or a message and nothing when another run holds it.
    std::optional<platform::TFileLock> LockMonth(std::u16string_view year, const std::u16string& month);
    // False, with a message, when what an earlier run left could not be moved.
    bool SetEarlierExtractionAside(std::u16string_view year, const std::u16string& month,
                                   TExtractionSummary& summary);
    void SayWhatIsMissing(const TMonthManifest& manifest);
    void CheckArchive(TExtractionSummary& summary);
    void WriteManifest(TExtractionSummary& summary);
    void RecordProblems(const TExtractionSummary& summary);
    void AppendToHistory(const THistoryEntry& entry);
    void ReportMonth(TExtractionSummary& summary);
    void RecordReport(const TExtractionSummary& summary, const std::u16string& summaryPath);

    IExtractionView& FView;
    const platform::TWinFileSystem& FFileSystem;
    TArchiveStep& FArchiveStep;
    TArchiveCheck* FArchiveCheck = nullptr;
    const TSendHistory* FHistory = nullptr;
    std::optional<std::vector<std::string>> FReportCnpjs;
    std::unique_ptr<TMonthCheckWorker> FMonthCheck; // during a run with the report
};

} // namespace orvant::app
