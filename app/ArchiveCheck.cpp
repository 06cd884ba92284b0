#include "app/ArchiveCheck.h"

#include "app/ArchiveStep.h"
#include "platform/Utf.h"

#include <cctype>
#include <filesystem>

namespace orvant::app {

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

constexpr std::u16string_view kIssued = u"Transmitidas";
constexpr std::u16string_view kCancelled = u"Canceladas";
// In a listing line, the entry's name starts in this column (after date, time,
// attributes, size and packed size); the attributes start in column 20.
constexpr std::size_t kListingNameColumn = 53;
constexpr std::size_t kListingAttributeColumn = 20;

std::u16string Number(int value)
{
    return Utf8ToUtf16(std::to_string(value));
}

std::vector<std::string> Lines(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < output.size()) {
        std::size_t end = output.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = output.size();
        lines.push_back(output.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// The file count of the listing's summary line ("... 120 files" or
// "... 120 files, 3 folders"); -1 when there is none.
int SummaryFileCount(const std::string& output)
{
    const auto lines = Lines(output);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::size_t at = line->rfind(" files");
        if (at == std::string::npos)
            continue;
        std::size_t start = at;
        while (start > 0 && std::isdigit(static_cast<unsigned char>((*line)[start - 1])))
            --start;
        if (start == at)
            return -1;
        return std::stoi(line->substr(start, at - start));
    }
    return -1;
}

std::u16string MismatchMessage(std::u16string_view archiveFile, const std::u16string& terminal,
                               std::u16string_view kind, int staging, int archived)
{
    return u"Conferência do arquivo " + std::u16string(archiveFile) + u": o " + terminal + u" tem " + Number(staging)
        + u" notas " + std::u16string(kind) + u" na pasta de preparação e " + Number(archived)
        + u" no arquivo .7z. Confira antes de enviar.";
}

} // namespace

std::u16string FilesPerTerminal(const std::vector<TTerminalFileCount>& counts)
{
    std::u16string text;
    for (const auto& c : counts) {
        if (!text.empty())
            text += u';';
        text += c.Terminal + u'=' + Number(c.ArchiveIssued) + u'/' + Number(c.ArchiveCancelled);
    }
    return text;
}

std::u16string ArchiveFilesPerTerminal(const platform::TWinPathRoots& roots, const std::string& archive)
{
    const platform::TWinFileSystem fileSystem(roots);
    platform::TSpawnProcessRunner runner;
    TArchiveStep step(fileSystem, runner);
    TArchiveCheck check(fileSystem, runner, step.Archiver());
    return FilesPerTerminal(check.ArchiveCounts(archive));
}

TArchiveCheck::TArchiveCheck(const platform::TWinFileSystem& fileSystem, platform::IProcessRunner& runner,
                             std::string archiver)
    : FFileSystem(fileSystem), FRunner(runner), FArchiver(std::move(archiver))
{
}

int TArchiveCheck::CountInArchive(const std::string& archive, const std::u16string& folder)
{
    const platform::TProcessResult listing = FRunner.Run(FArchiver, {"l", archive, Utf16ToUtf8(folder) + "/*"});
    return listing.Succeeded() ? SummaryFileCount(listing.Output) : -1;
}

std::vector<std::u16string> TArchiveCheck::TopFolders(const std::string& archive)
{
    // Every entry with a "/" in its name is excluded: what is left is the top.
    const platform::TProcessResult listing = FRunner.Run(FArchiver, {"l", "-ba", archive, "-x!*/*"});
    std::vector<std::u16string> folders;
    if (!listing.Succeeded())
        return folders;
    for (const std::string& line : Lines(listing.Output)) {
        if (line.size() > kListingNameColumn && line[kListingAttributeColumn] == 'D')
            folders.push_back(Utf8ToUtf16(line.substr(kListingNameColumn)));
    }
    return folders;
}

int TArchiveCheck::CountInStaging(std::u16string_view folder) const
{
    const auto mapped = FFileSystem.Map(folder);
    std::error_code error;
    if (!mapped || !std::filesystem::is_directory(*mapped, error))
        return 0;
    int count = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(*mapped, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error))
            ++count;
    }
    return count;
}

std::vector<TTerminalFileCount> TArchiveCheck::ArchiveCounts(const std::string& archive)
{
    std::vector<TTerminalFileCount> counts;
    for (const std::u16string& folder : TopFolders(archive)) {
        if (folder.rfind(u"PDV", 0) != 0)
            continue;
        TTerminalFileCount count;
        count.Terminal = folder;
        count.ArchiveIssued = CountInArchive(archive, folder + u"/" + std::u16string(kIssued));
        count.ArchiveCancelled = CountInArchive(archive, folder + u"/" + std::u16string(kCancelled));
        counts.push_back(std::move(count));
    }
    return counts;
}

TArchiveCheckResult TArchiveCheck::Run(std::u16string_view archiveFile,
                                       const std::vector<std::pair<std::u16string, std::u16string>>& terminalStaging)
{
    TArchiveCheckResult result;
    const auto archive = FFileSystem.Map(archiveFile);
    if (!archive || !FFileSystem.FileExists(archiveFile))
        return result;
    result.Checked = true;

    const platform::TProcessResult test = FRunner.Run(FArchiver, {"t", *archive});
    if (!test.Succeeded()) {
        // A damaged archive lists nothing worth comparing.
        const std::u16string code = test.Exited ? u"código " + Number(test.ExitCode) : u"não terminou";
        result.Problems.push_back(u"O teste do arquivo " + std::u16string(archiveFile) + u" pelo 7-Zip falhou (" + code
                                  + u"): o arquivo está corrompido ou incompleto." + ArchiverFailureDetail(test.Output)
                                  + u" Não envie este arquivo; extraia o mês de novo.");
        return result;
    }

    for (const auto& [terminal, staging] : terminalStaging) {
        TTerminalFileCount count;
        count.Terminal = terminal;
        count.StagingIssued = CountInStaging(staging + u"\\" + std::u16string(kIssued));
        count.StagingCancelled = CountInStaging(staging + u"\\" + std::u16string(kCancelled));
        count.ArchiveIssued = CountInArchive(*archive, terminal + u"/" + std::u16string(kIssued));
        count.ArchiveCancelled = CountInArchive(*archive, terminal + u"/" + std::u16string(kCancelled));
        if (count.ArchiveIssued < 0 || count.ArchiveCancelled < 0) {
            result.Problems.push_back(u"Não foi possível conferir o " + terminal + u" no arquivo "
                                      + std::u16string(archiveFile) + u": o 7-Zip não listou o seu conteúdo.");
        } else {
            if (count.StagingIssued != count.ArchiveIssued)
                result.Problems.push_back(
                    MismatchMessage(archiveFile, terminal, kIssued, count.StagingIssued, count.ArchiveIssued));
            if (count.StagingCancelled != count.ArchiveCancelled)
                result.Problems.push_back(
                    MismatchMessage(archiveFile, terminal, kCancelled, count.StagingCancelled, count.ArchiveCancelled));
        }
        result.Counts.push_back(std::move(count));
    }
    return result;
}

} // namespace orvant::app
