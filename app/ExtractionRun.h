#pragma once
// The monthly extraction run behind "Extrair XML": for each enabled terminal, in
// ascending order, copy the month's issued and then cancelled invoice files from
// the terminal's share into the staging tree (each pass counts, then copies, so
// the progress bar knows its range), have the archive step pack the terminal,
// report what is missing; finally hand the archive over to a new send dialog.
//
// The run talks to its window only through IExtractionView, so the same class
// serves the main window and the headless orvant-cli.

#include "app/ArchiveCheck.h"
#include "app/ArchiveStep.h"
#include "platform/WinFileSystem.h"

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
};

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

    // Files were found and all of them were copied and archived.
    bool Complete() const;
};

struct TExtractionSummary {
    std::vector<TTerminalReport> Terminals; // the enabled ones, in the order handled
    std::u16string AttachmentPath;          // what the send dialog was given
    TArchiveCheckResult Check;              // when the run was given a check

    // At least one terminal, every one complete, and the archive passed its check
    // (when it was checked).
    bool AllComplete() const;
};

class TSendHistory;

class TExtractionRun {
public:
    static constexpr std::u16string_view kRunningCaption = u"Extraindo...";

    TExtractionRun(IExtractionView& view, const platform::TWinFileSystem& fileSystem,
                   TArchiveStep& archiveStep);

    // yearText and monthText are the texts of the selected entries (empty when
    // none is selected).
    TExtractionSummary Execute(std::u16string_view yearText, std::u16string_view monthText);

    // After the last terminal, before the send dialog opens, the archive is
    // checked; each problem is shown and, with a history, recorded there. The
    // dialog opens all the same: the user decides whether to send.
    void SetArchiveCheck(TArchiveCheck& check, const TSendHistory* history);

private:
    void CheckArchive(TExtractionSummary& summary, std::u16string_view yearText, std::u16string_view month,
                      const std::vector<std::pair<std::u16string, std::u16string>>& terminalStaging);

    TPassReport CopyPass(const std::u16string& sourceFolder, const std::u16string& pattern,
                         const std::u16string& stagingFolder);

    IExtractionView& FView;
    const platform::TWinFileSystem& FFileSystem;
    TArchiveStep& FArchiveStep;
    TArchiveCheck* FArchiveCheck = nullptr;
    const TSendHistory* FHistory = nullptr;
};

} // namespace orvant::app
