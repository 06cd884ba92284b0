#include "app/ArchiveCheck.h"

#include "app/ArchiveListing.h"
#include "app/ArchiveStep.h"
#include "app/FileDigest.h"
#include "app/SendHistory.h"
#include "platform/NativePath.h"
#include "platform/Utf.h"

#include <filesystem>
#include <map>

namespace orvant::app {

namespace {

using platform::Utf8ToUtf16;

std::u16string Number(std::uint64_t value)
{
    return Utf8ToUtf16(std::to_string(value));
}

// "PDV1/Transmitidas/x.xml" -> terminal and folder; false for anything that is no
// invoice's place in a month archive.
bool InvoicePlace(const std::u16string& path, std::u16string& terminal, std::u16string& folder)
{
    const std::size_t first = path.find(u'/');
    const std::size_t second = first == std::u16string::npos ? first : path.find(u'/', first + 1);
    if (second == std::u16string::npos || path.find(u'/', second + 1) != std::u16string::npos)
        return false;
    terminal = path.substr(0, first);
    folder = path.substr(first + 1, second - first - 1);
    return terminal.starts_with(u"PDV") && (folder == kIssuedFolder || folder == kCancelledFolder)
        && second + 1 < path.size();
}

// A folder the archive may hold besides the files: PDVn, PDVn/Transmitidas, PDVn/Canceladas.
bool MonthFolder(const std::u16string& path)
{
    const std::size_t slash = path.find(u'/');
    if (slash == std::u16string::npos)
        return path.starts_with(u"PDV");
    const std::u16string_view rest = std::u16string_view(path).substr(slash + 1);
    return path.starts_with(u"PDV") && (rest == kIssuedFolder || rest == kCancelledFolder);
}

// Up to three names, for a message that must stay readable with thousands.
std::u16string Examples(const std::vector<std::u16string>& paths)
{
    std::u16string text;
    for (std::size_t i = 0; i < paths.size() && i < 3; ++i)
        text += (i ? u", " : u"") + paths[i];
    if (paths.size() > 3)
        text += u" e outros " + Number(paths.size() - 3);
    return text;
}

std::u16string Mismatch(std::u16string_view archiveFile, std::u16string_view what,
                        const std::vector<std::u16string>& paths)
{
    return u"Conferência do arquivo " + std::u16string(archiveFile) + u" com o manifesto: " + Number(paths.size())
        + u" " + std::u16string(what) + u" (" + Examples(paths) + u"). Não envie este arquivo; extraia o mês de novo.";
}

struct TComparison {
    std::vector<std::u16string> Missing, Differing, Extra;
    std::map<std::u16string, TTerminalFileCount> Counts;
    int Files = 0;
};

TComparison Compare(const std::vector<TArchiveEntry>& entries, const TMonthManifest& manifest)
{
    TComparison c;
    std::map<std::u16string, const TManifestFile*> expected;
    for (const auto& file : manifest.Files)
        expected.emplace(file.ArchivePath(), &file);
    for (const auto& entry : entries) {
        if (entry.IsFolder) {
            if (!MonthFolder(entry.Path))
                c.Extra.push_back(entry.Path);
            continue;
        }
        std::u16string terminal, folder;
        const auto found = expected.find(entry.Path);
        if (!InvoicePlace(entry.Path, terminal, folder) || found == expected.end()) {
            c.Extra.push_back(entry.Path);
            continue;
        }
        const TManifestFile& file = *found->second;
        // 7-Zip lists no CRC for an empty file; zlib's CRC-32 of nothing is 0.
        if (entry.Size != file.Size || entry.Crc32.value_or(0) != file.Crc32)
            c.Differing.push_back(entry.Path);
        expected.erase(found);
        TTerminalFileCount& count = c.Counts[terminal];
        count.Terminal = terminal;
        ++(folder == kIssuedFolder ? count.ArchiveIssued : count.ArchiveCancelled);
        ++c.Files;
    }
    for (const auto& [path, file] : expected)
        c.Missing.push_back(path);
    return c;
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

std::u16string CheckedLine(const TArchiveCheckResult& result)
{
    std::u16string perTerminal;
    for (const auto& c : result.Counts)
        perTerminal += (perTerminal.empty() ? u"" : u"; ") + c.Terminal + u" " + Number(c.ArchiveIssued)
            + u" Transmitidas e " + Number(c.ArchiveCancelled) + u" Canceladas";
    return u"Arquivo conferido: teste do 7-Zip sem erros e " + Number(result.ArchiveFiles)
        + u" arquivos no .7z, iguais ao manifesto em nome, tamanho e CRC-32"
        + (perTerminal.empty() ? u"" : u" (" + perTerminal + u")") + u".";
}

std::u16string ArchiveFilesPerTerminal(const platform::TWinPathRoots& roots, const std::string& archive)
{
    const platform::TWinFileSystem fileSystem(roots);
    platform::TSpawnProcessRunner runner;
    TArchiveStep step(fileSystem, runner);
    const TArchiveListing listing = ListArchive(runner, step.Archiver(), archive);
    if (!listing.Listed)
        return {};
    std::map<std::u16string, TTerminalFileCount> counts;
    for (const auto& entry : listing.Entries) {
        std::u16string terminal, folder;
        if (entry.IsFolder || !InvoicePlace(entry.Path, terminal, folder))
            continue;
        counts[terminal].Terminal = terminal;
        ++(folder == kIssuedFolder ? counts[terminal].ArchiveIssued : counts[terminal].ArchiveCancelled);
    }
    std::vector<TTerminalFileCount> ordered;
    for (auto& [terminal, count] : counts)
        ordered.push_back(std::move(count));
    return FilesPerTerminal(ordered);
}

TArchiveCheck::TArchiveCheck(const platform::TWinFileSystem& fileSystem, platform::IProcessRunner& runner,
                             std::string archiver)
    : FFileSystem(fileSystem), FRunner(runner), FArchiver(std::move(archiver))
{
}

TArchiveCheckResult TArchiveCheck::Run(std::u16string_view archiveFile, const TMonthManifest& manifest)
{
    TArchiveCheckResult result;
    const auto archive = FFileSystem.Map(archiveFile);
    if (!archive || !FFileSystem.FileExists(archiveFile)) {
        result.Problems.push_back(u"O arquivo " + std::u16string(archiveFile)
                                  + u" não foi criado pelo 7-Zip. Não há o que enviar; extraia o mês de novo.");
        return result;
    }
    result.Checked = true;

    const platform::TProcessResult test = FRunner.Run(FArchiver, {"t", *archive});
    if (!test.Succeeded()) {
        // A damaged archive lists nothing worth comparing.
        const std::u16string code = test.TimedOut ? u"não terminou no tempo limite"
            : test.Exited                         ? u"código " + Number(static_cast<std::uint64_t>(test.ExitCode))
                                                  : u"não terminou";
        result.Problems.push_back(u"O teste do arquivo " + std::u16string(archiveFile) + u" pelo 7-Zip falhou (" + code
                                  + u"): o arquivo está corrompido ou incompleto." + ArchiverFailureDetail(test.Output)
                                  + u" Não envie este arquivo; extraia o mês de novo.");
        return result;
    }
    const TArchiveListing listing = ListArchive(FRunner, FArchiver, *archive);
    if (!listing.Listed) {
        result.Problems.push_back(u"Não foi possível listar o arquivo " + std::u16string(archiveFile)
                                  + u" com o 7-Zip para conferi-lo." + ArchiverFailureDetail(listing.Process.Output)
                                  + u" Não envie este arquivo; extraia o mês de novo.");
        return result;
    }

    TComparison comparison = Compare(listing.Entries, manifest);
    if (!comparison.Missing.empty())
        result.Problems.push_back(Mismatch(archiveFile, u"arquivo(s) do manifesto não estão no .7z", comparison.Missing));
    if (!comparison.Differing.empty())
        result.Problems.push_back(
            Mismatch(archiveFile, u"arquivo(s) no .7z diferem do manifesto no tamanho ou no CRC-32", comparison.Differing));
    if (!comparison.Extra.empty())
        result.Problems.push_back(
            Mismatch(archiveFile, u"entrada(s) no .7z não estão no manifesto", comparison.Extra));
    for (const auto& terminal : manifest.Terminals) {
        TTerminalFileCount count = comparison.Counts[terminal.Key];
        count.Terminal = terminal.Key;
        result.Counts.push_back(std::move(count));
    }
    result.ArchiveFiles = comparison.Files;
    if (!result.Problems.empty())
        return result;

    std::error_code error;
    TManifestSeal seal;
    seal.ArchiveSize = std::filesystem::file_size(platform::NativePath(*archive), error);
    seal.ArchiveSha256 = Sha256OfFile(*archive);
    seal.CheckedAt = HistoryDateTime(platform::TSystemClock().Now());
    if (error || seal.ArchiveSha256.empty()) {
        result.Problems.push_back(u"Não foi possível ler o arquivo " + std::u16string(archiveFile)
                                  + u" para registrar o seu SHA-256. Extraia o mês de novo.");
        return result;
    }
    result.Seal = std::move(seal);
    return result;
}

} // namespace orvant::app
