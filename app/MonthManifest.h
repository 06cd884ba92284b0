#pragma once
// The month's manifest: what the terminals held when the month was extracted,
// kept beside the archive (C:\Kelmora\Orvant\Enviar\2021\03.7z ->
// 03-manifesto.txt). For every enabled terminal it lists each invoice copied, as
// its folder in the archive (PDV1/Transmitidas/<name>), its size, its
// modification time on the terminal and the CRC-32 of the bytes copied, and
// every problem that kept part of the terminal out: a share that could not be
// reached, a month folder that could not be listed, a file that could not be
// read. The archive check compares the archive with it entry by entry (7-Zip
// keeps the same CRC-32 for every file), then records the archive's size and
// SHA-256 in it, which every send recomputes before the archive may leave.
//
// Plain text, UTF-8, one record a line, fields separated by tabs, so that a person
// can read it and a program can parse it; lines starting with '#' are comments.
// A name's tab, line break, other control character or '%' is written as %XX.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

inline constexpr std::u16string_view kIssuedFolder = u"Transmitidas";
inline constexpr std::u16string_view kCancelledFolder = u"Canceladas";

struct TManifestFile {
    std::u16string Terminal;    // PDV1
    std::u16string_view Folder; // kIssuedFolder or kCancelledFolder
    std::u16string Name;
    std::uint64_t Size = 0;
    std::string Modified;       // on the terminal, local time "2021-03-05 10:00:00"
    std::uint32_t Crc32 = 0;

    // PDV1/Transmitidas/<name>: its path inside the archive.
    std::u16string ArchivePath() const;
};

// Something that kept invoices of a terminal out of the month.
struct TManifestProblem {
    std::u16string Terminal;
    std::u16string Text; // Portuguese, as shown to the user
};

// How a source folder was found.
struct TManifestFolder {
    std::u16string Terminal;
    std::u16string Folder;     // kIssuedFolder or kCancelledFolder
    std::u16string SourcePath; // \\CAIXA01\Kelmora\PDV\NFCE\Transmitidas\202103
    std::u16string State;      // "N arquivos", "ausente", "ilegível"
};

struct TManifestTerminal {
    std::u16string Key;      // PDV1
    std::u16string Computer; // CAIXA01
};

// What the archive check found the archive to be, once it matched the manifest.
struct TManifestSeal {
    std::u16string CheckedAt;  // "2021-04-01 06:00:20"
    std::uint64_t ArchiveSize = 0;
    std::string ArchiveSha256; // lower-case hex
};

struct TMonthManifest {
    std::u16string Year;  // "2021"
    std::u16string Month; // "03"
    std::u16string ExtractedAt;
    std::vector<TManifestTerminal> Terminals;
    std::vector<TManifestFolder> Folders;
    std::vector<TManifestFile> Files;
    std::vector<TManifestProblem> Problems;
    std::optional<TManifestSeal> Seal;

    // Every enabled terminal was read whole.
    bool Complete() const { return Problems.empty(); }
    // Issued and cancelled files of one terminal.
    std::pair<int, int> CountsOf(std::u16string_view terminal) const;
    // "PDV1=120/3;PDV2=80/0", every enabled terminal in order.
    std::u16string FilesPerTerminal() const;
    // The first `shown` problems, one "\n- ..." line each, and how many more.
    std::u16string ProblemList(std::size_t shown = 5) const;
    // "completo: 764 arquivos", "incompleto: 2 problema(s), 547 arquivos", "vazio: nenhuma nota".
    std::u16string StateText() const;
};

// "2021-03-05 10:00:00": a file's modification time (seconds since 1970) in local time.
std::string ManifestTime(std::int64_t unixSeconds);

// C:\...\Enviar\2021\03.7z -> C:\...\Enviar\2021\03-manifesto.txt; the same rule
// for a Linux path. Empty when the archive's name does not end in ".7z".
std::u16string ManifestPathFor(std::u16string_view archivePath);

std::string ManifestText(const TMonthManifest& manifest);
// Empty when the text is no manifest (no month record).
std::optional<TMonthManifest> ParseManifest(std::string_view text);
// The manifest in a file (a Linux path); empty when it cannot be read or parsed.
std::optional<TMonthManifest> ReadManifestFile(const std::string& path);

} // namespace orvant::app
