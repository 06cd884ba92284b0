#pragma once
// Checks the month's archive before it leaves, against the month's manifest (what
// the terminals held): 7-Zip tests the archive (every entry read back against
// its CRC), then its listing must hold every file of the manifest under
// PDVn/Transmitidas or PDVn/Canceladas with the same size and CRC-32, and
// nothing else. An invoice that never made it into the archive, one left over
// from an earlier month, or an archive cut short by a full disk is then seen here
// rather than by the accountant. When the archive matches, its size and SHA-256
// are sealed into the manifest; every send compares the archive with them.

#include "app/MonthManifest.h"
#include "platform/Process.h"
#include "platform/WinFileSystem.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

struct TTerminalFileCount {
    std::u16string Terminal; // PDV1
    int ArchiveIssued = 0;
    int ArchiveCancelled = 0;
};

struct TArchiveCheckResult {
    bool Checked = false;      // the archive was there and 7-Zip could be asked
    std::vector<TTerminalFileCount> Counts; // the archive's files per terminal
    int ArchiveFiles = 0;
    // Portuguese, one per problem: a failed test, files missing, differing or
    // extra. Empty when the archive is exactly the manifest's files.
    std::vector<std::u16string> Problems;
    std::optional<TManifestSeal> Seal; // when it passed

    bool Passed() const { return Checked && Problems.empty(); }
};

// "PDV1=120/3;PDV2=80/0": the archive's issued/cancelled files per terminal.
std::u16string FilesPerTerminal(const std::vector<TTerminalFileCount>& counts);

// "Arquivo conferido: ..." with the archive's own counts per terminal.
std::u16string CheckedLine(const TArchiveCheckResult& result);

// FilesPerTerminal of any archive (Linux path), listed by the archiver the
// archive step would use for that deployment; empty when it cannot be listed.
std::u16string ArchiveFilesPerTerminal(const platform::TWinPathRoots& roots, const std::string& archive);

class TArchiveCheck {
public:
    // `archiver`: the program the archive step runs (TArchiveStep::Archiver).
    TArchiveCheck(const platform::TWinFileSystem& fileSystem, platform::IProcessRunner& runner,
                  std::string archiver);

    // The month's archive (Windows path text) against the manifest.
    TArchiveCheckResult Run(std::u16string_view archiveFile, const TMonthManifest& manifest);

private:
    const platform::TWinFileSystem& FFileSystem;
    platform::IProcessRunner& FRunner;
    std::string FArchiver;
};

} // namespace orvant::app
