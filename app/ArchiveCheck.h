#pragma once
// Checks the month's archive before it leaves: 7-Zip tests it (every entry read
// back against its CRC), and for every terminal the files below PDVn/Transmitidas
// and PDVn/Canceladas in the archive are counted against the staging tree. A file
// that never made it into the archive, or an archive cut short by a full disk,
// is then seen here rather than by the accountant.
//
// The archiver is the one the archive step uses; only its summary lines are read
// (its output is kept to the last few KiB), so a month of 60 000 files costs one
// listing per folder, never one line per file.

#include "platform/Process.h"
#include "platform/WinFileSystem.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

struct TTerminalFileCount {
    std::u16string Terminal;   // PDV1
    int StagingIssued = -1;    // -1: not counted
    int StagingCancelled = -1;
    int ArchiveIssued = -1;
    int ArchiveCancelled = -1;
};

struct TArchiveCheckResult {
    bool Checked = false;      // an archive was there to check
    std::vector<TTerminalFileCount> Counts;
    // Portuguese, one per problem: a failed test, a count that differs, a listing
    // that failed. Empty when the archive is sound and complete.
    std::vector<std::u16string> Problems;

    bool Passed() const { return Checked && Problems.empty(); }
};

// "PDV1=120/3;PDV2=80/0": the archive's issued/cancelled files per terminal.
std::u16string FilesPerTerminal(const std::vector<TTerminalFileCount>& counts);

// FilesPerTerminal of an archive (Linux path), listed by the archiver the
// archive step would use for that deployment.
std::u16string ArchiveFilesPerTerminal(const platform::TWinPathRoots& roots, const std::string& archive);

class TArchiveCheck {
public:
    // `archiver`: the program the archive step runs (TArchiveStep::Archiver).
    TArchiveCheck(const platform::TWinFileSystem& fileSystem, platform::IProcessRunner& runner,
                  std::string archiver);

    // The month's archive (Windows path text) against the staging folders of the
    // given terminals (C:\Kelmora\Orvant\Arquivos\YYYY\MM\PDVn). Nothing is
    // checked when the archive file does not exist: the archive step has said why.
    TArchiveCheckResult Run(std::u16string_view archiveFile,
                            const std::vector<std::pair<std::u16string, std::u16string>>& terminalStaging);

    // The archive's own counts for the PDVn folders at its top (for the history);
    // empty when it cannot be listed. `archive` is a Linux path.
    std::vector<TTerminalFileCount> ArchiveCounts(const std::string& archive);

private:
    // Files below `folder` in the archive; -1 when the listing failed.
    int CountInArchive(const std::string& archive, const std::u16string& folder);
    std::vector<std::u16string> TopFolders(const std::string& archive);
    int CountInStaging(std::u16string_view folder) const;

    const platform::TWinFileSystem& FFileSystem;
    platform::IProcessRunner& FRunner;
    std::string FArchiver;
};

} // namespace orvant::app
