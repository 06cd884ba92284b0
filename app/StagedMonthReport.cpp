#include "app/StagedMonthReport.h"

#include "app/FolderScheme.h"
#include "app/MonthManifest.h"
#include "app/TerminalConfig.h"
#include "platform/NativePath.h"

#include <fstream>
#include <iterator>

namespace orvant::app {

namespace {

// At most the reader's limit is read; a larger file is judged by its size alone.
TInvoiceDocument ReadStagedFile(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(platform::NativePath(path), error);
    if (error)
        return ReadInvoiceDocument({}, 0);
    if (size > kMaxInvoiceFileSize)
        return ReadInvoiceDocument({}, size);
    std::ifstream in(platform::NativePath(path), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ReadInvoiceDocument(bytes);
}

} // namespace

std::optional<TMonthReport> ReportStagedMonth(const platform::TWinFileSystem& fileSystem, std::u16string_view year,
                                              std::u16string_view month, const std::vector<std::string>& storeCnpjs)
{
    if (!fileSystem.DirectoryExists(MonthStagingFolder(year, month)))
        return std::nullopt;
    TMonthCheck check(std::u16string(year), std::u16string(month), storeCnpjs);
    for (int n = 1; n <= kTerminalCount; ++n) {
        const std::u16string terminal = TerminalKey(n);
        const TTerminalPaths paths = BuildTerminalPaths(u"", terminal, year, month);
        if (!fileSystem.DirectoryExists(paths.TerminalStaging))
            continue;
        check.AddTerminal(terminal);
        for (const auto& [folder, staging] : {std::pair {kIssuedFolder, paths.IssuedStaging},
                                              std::pair {kCancelledFolder, paths.CancelledStaging}}) {
            for (const auto& entry : fileSystem.FindFiles(StagingFilePath(staging, u"*"))) {
                if (entry.IsDirectory)
                    continue;
                const auto mapped = fileSystem.Map(StagingFilePath(staging, entry.Name));
                check.Add(terminal, folder, entry.Name,
                          mapped ? ReadStagedFile(*mapped) : ReadInvoiceDocument({}, 0));
            }
        }
    }
    return check.Finish();
}

} // namespace orvant::app
