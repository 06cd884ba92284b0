#include "app/StagedMonthReport.h"

#include "app/FolderScheme.h"
#include "app/MonthManifest.h"
#include "app/TerminalConfig.h"
#include "platform/NativePath.h"

#include <fstream>

namespace orvant::app {

namespace {

// A file larger than the reader takes is judged by its size alone.
TInvoiceDocument ReadStagedFile(TInvoiceReader& reader, const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(platform::NativePath(path), error);
    std::string bytes;
    if (!error && size <= kMaxInvoiceFileSize) {
        bytes.resize(static_cast<std::size_t>(size));
        std::ifstream in(platform::NativePath(path), std::ios::binary);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    return reader.Read(bytes, error ? 0 : size);
}

} // namespace

std::optional<TMonthReport> ReportStagedMonth(const platform::TWinFileSystem& fileSystem, std::u16string_view year,
                                              std::u16string_view month, const std::vector<std::string>& storeCnpjs)
{
    if (!fileSystem.DirectoryExists(MonthStagingFolder(year, month)))
        return std::nullopt;
    TMonthCheck check(std::u16string(year), std::u16string(month), storeCnpjs);
    TInvoiceReader reader;
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
                check.Add(terminal, folder, entry.Name, ReadStagedFile(reader, mapped ? *mapped : std::string()));
            }
        }
    }
    return check.Finish();
}

} // namespace orvant::app
