#pragma once
// Every folder and file path of the monthly extraction, built as Windows path
// text piece by piece, exactly as the store's technicians know them (they appear
// in messages). The text is mapped to Linux only when a file is touched.
//
// For computer CAIXA01, terminal PDV1, year 2021 and month 03:
//   \\CAIXA01\Kelmora\PDV\NFCE\Transmitidas\202103          issued source folder
//   C:\Kelmora\Orvant\Arquivos\2021\03\PDV1                   terminal staging folder
//   C:\Kelmora\Orvant\Arquivos\2021\03\PDV1\Transmitidas\     issued staging folder
//   C:\Kelmora\Orvant\Enviar\2021\03                          archive base (+ ".7z")

#include <string>
#include <string_view>

namespace orvant::app {

inline constexpr std::u16string_view kArchiverProgramPath = u"C:\\Kelmora\\Server\\7z.exe";

struct TTerminalPaths {
    std::u16string IssuedSource;
    std::u16string CancelledSource;
    std::u16string IssuedPattern;
    std::u16string CancelledPattern;
    std::u16string TerminalStaging;
    std::u16string IssuedStaging;
    std::u16string CancelledStaging;
};

TTerminalPaths BuildTerminalPaths(std::u16string_view computer, std::u16string_view terminalKey,
                                  std::u16string_view year, std::u16string_view month);

std::u16string SourceFilePath(std::u16string_view sourceFolder, std::u16string_view name);
std::u16string StagingFilePath(std::u16string_view stagingFolder, std::u16string_view name);
std::u16string OutboxYearFolder(std::u16string_view year);
std::u16string ArchiveBase(std::u16string_view year, std::u16string_view month);
std::u16string ArchiveFilePath(std::u16string_view archiveBase);

// \\CAIXA01\Kelmora: the terminal's share; no link may lead out of it.
std::u16string TerminalShare(std::u16string_view computer);
// \\CAIXA01\Kelmora\PDV\NFCE: present whenever the share is reachable (an
// unmounted share's mount point is an empty folder).
std::u16string TerminalInvoiceFolder(std::u16string_view computer);
// C:\Kelmora\Orvant\Arquivos\2021\03: the month's staging folder.
std::u16string MonthStagingFolder(std::u16string_view year, std::u16string_view month);
// C:\Kelmora\Orvant\Enviar\2021\anteriores\: where earlier extractions are kept.
std::u16string PreviousExtractionsFolder(std::u16string_view year);
// C:\Kelmora\Orvant\Enviar\2021\03.lock: held while the month is extracted.
std::u16string MonthLockPath(std::u16string_view archiveBase);

} // namespace orvant::app
