#pragma once
// The send history C:\Kelmora\Orvant\Enviar\historico.csv: one line per send
// attempt (and per archive that failed its check), so that the accountant's "não
// recebi" can be answered with the date, the archive's SHA-256 and the queue
// identifier in the server's final reply.
//
// The file is CSV as RFC 4180 writes it (fields holding a comma or a quote are
// quoted, quotes doubled; lines end in CR LF), UTF-8, with a header line when the
// file is new. Each record is one physical line: a CR, LF or '%' inside a field
// is written %0D, %0A, %25, so a line torn by a crash mid-write (an open quote)
// costs that line alone. Files of older versions, whose quoted fields may span
// lines, still read: a quoted field continues onto the next line unless that
// line begins a record of its own, in which case the open line is skipped.
// Lines are only ever appended (O_APPEND, one write per line, then fsync): an
// earlier line is never rewritten. Reading is streamed, a line at a time.
//
// A send checks the history, delivers and records under the lock of the file
// beside it (historico.csv.lock), so two sends of one month cannot both pass the
// check.

#include "platform/Clock.h"
#include "platform/FileLock.h"
#include "platform/WinPath.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

inline constexpr std::u16string_view kSendHistoryPath = u"C:\\Kelmora\\Orvant\\Enviar\\historico.csv";

inline constexpr std::u16string_view kEventSend = u"envio";
inline constexpr std::u16string_view kEventCheck = u"conferência";
// The month's report at extraction: its summary in State, its problems in Result,
// the totals per terminal in FilesPerTerminal, the summary file in Manifest.
inline constexpr std::u16string_view kEventReport = u"resumo";
inline constexpr std::u16string_view kResultDelivered = u"entregue";
// The state a send of the whole month, checked against its manifest, records.
inline constexpr std::u16string_view kStateWholeMonth = u"conferido, completo";

struct THistoryEntry {
    std::u16string DateTime;         // local, "2026-04-01 06:00:12"
    std::u16string Year;             // "2026"
    std::u16string Month;            // "03"
    std::u16string Event;            // kEventSend or kEventCheck
    std::u16string Recipient;        // as typed
    std::u16string Archive;          // the archive's path as the program names it
    std::u16string Size;             // bytes
    std::u16string Sha256;
    std::u16string FilesPerTerminal; // "PDV1=120/3;PDV2=80/0" (issued/cancelled)
    std::u16string ReplyCode;        // the server's final reply: "250"
    std::u16string EnhancedCode;     // "2.0.0"
    std::u16string ReplyText;        // "Ok: queued as 4XyZ"
    std::u16string Result;           // kResultDelivered, or what went wrong
    std::u16string Manifest;         // the month's manifest as the program names it
    std::u16string ManifestSha256;   // of the manifest file, so the proof can be found again
    std::u16string State;            // the month as sent: TMonthManifest::StateText, "não conferido", "sem anexo"

    std::vector<std::u16string> Fields() const;
    static THistoryEntry FromFields(const std::vector<std::u16string>& fields);
};

// The month's column: "Março" -> "03"; a text that is no month name stays as typed.
std::u16string HistoryMonth(std::u16string_view monthText);

// "2026-04-01 06:00:12"
std::u16string HistoryDateTime(const platform::TLocalDateTime& when);

// One CSV record with its CR LF, UTF-8.
std::string CsvRecord(const std::vector<std::u16string>& fields);
// The records of a CSV text (quoted fields may hold line breaks).
std::vector<std::vector<std::u16string>> ParseCsv(std::string_view text);

// A field as the history writes it: '%' -> %25, CR -> %0D, LF -> %0A; and back.
std::u16string EscapeHistoryField(std::u16string_view field);
std::u16string UnescapeHistoryField(std::u16string_view field);
// One history line: the escaped fields as one CSV record, CR LF at the end.
std::string HistoryLine(const std::vector<std::u16string>& fields);

// The longest physical line read; a longer one (garbage) is skipped whole.
inline constexpr std::size_t kMaxHistoryLine = 1 << 20;
// Reads history text a line at a time and hands each entry to `visit`, oldest
// first. The header, blank lines, lines torn short (fewer fields than the first
// header had, or an open quote the next record cuts off) and over-long lines are
// skipped; returns how many lines were skipped that way.
std::size_t ReadHistory(std::istream& text, const std::function<void(THistoryEntry&&)>& visit);

// True when the two recipient texts, as typed (one address or several separated
// by "," or ";"), name an address in common, compared without regard to case.
bool SharesRecipient(std::u16string_view typed, std::u16string_view other);

// "Este mês já foi enviado para <recipient> em <date>. Enviar novamente?"
std::u16string ResendQuestion(const THistoryEntry& previous);

class TSendHistory {
public:
    // `path`: the Linux path of the file.
    explicit TSendHistory(std::string path) : FPath(std::move(path)) {}

    const std::string& Path() const { return FPath; }

    // The lock file beside the history.
    std::string LockPath() const { return FPath + ".lock"; }

    // Takes the history's lock, waiting at most `wait` while another process holds
    // it (error EWOULDBLOCK then; else errno of the lock file). Creates the folder.
    std::optional<platform::TFileLock> Lock(std::chrono::milliseconds wait, int& error) const;

    // Appends one line (and the header line first when the file is new or empty;
    // a line break first when the last line was torn short). Raises
    // std::system_error when the file cannot be written.
    void Append(const THistoryEntry& entry) const;
    // Each entry in turn, oldest first, read a line at a time; none when the file
    // does not exist. Returns the number of lines skipped (see ReadHistory).
    std::size_t ForEachEntry(const std::function<void(THistoryEntry&&)>& visit) const;
    // Every entry, oldest first.
    std::vector<THistoryEntry> Entries() const;
    // The latest delivered send of the whole, checked month to any of those
    // addresses (compared without regard to case), if any. An incomplete, empty or unchecked
    // month that went does not count: the whole month may still follow. A line
    // written before the history recorded the month's state counts.
    std::optional<THistoryEntry> PreviousDelivery(std::u16string_view year, std::u16string_view month,
                                                  std::u16string_view recipient) const;

    // The history of the deployment (kSendHistoryPath mapped).
    static TSendHistory ForDeployment(const platform::TWinPathRoots& roots);

private:
    std::string FPath;
};

} // namespace orvant::app
