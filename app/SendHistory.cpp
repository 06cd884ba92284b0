#include "app/SendHistory.h"

#include "app/TerminalConfig.h"
#include "mail/IdEMailAddress.h"
#include "platform/AppendFile.h"
#include "platform/CaseFold.h"
#include "platform/NativePath.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>

namespace orvant::app {

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

const std::vector<std::u16string> kHeader = {
    u"data_hora", u"ano", u"mes", u"evento", u"destinatario", u"arquivo", u"tamanho", u"sha256",
    u"arquivos_por_pdv", u"codigo", u"codigo_estendido", u"resposta", u"resultado",
    // Added later: the month's proof. A file begun before them keeps its shorter
    // header; its older lines simply lack the three fields.
    u"manifesto", u"sha256_manifesto", u"situacao"};

std::string QuotedField(const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// The fewest fields a record has: the first header had thirteen.
constexpr std::size_t kMinimumFields = 13;

bool IsDigitAt(std::string_view text, std::size_t i)
{
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// "2026-04-01 06:00:12," or the header: the line starts a record of its own, so
// an open quoted field before it was torn, not continued.
bool StartsRecord(std::string_view line)
{
    if (line.starts_with("data_hora,"))
        return true;
    static constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd,";
    if (line.size() < kShape.size())
        return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == 'd' ? !IsDigitAt(line, i) : line[i] != kShape[i])
            return false;
    }
    return true;
}

bool OddQuotes(std::string_view text)
{
    return std::count(text.begin(), text.end(), '"') % 2 != 0;
}

// Physical lines ('\n' ends one; a '\r' before it stays), read in blocks, so
// that memory does not grow with the file. A line longer than kMaxHistoryLine
// is read through and reported as too long, its bytes not kept.
class TLineReader {
public:
    explicit TLineReader(std::istream& in) : FIn(in), FBlock(64 * 1024) {}

    // False at the end of the text.
    bool Next(std::string& line, bool& tooLong)
    {
        line.clear();
        tooLong = false;
        bool any = false;
        for (;;) {
            if (FPos == FEnd && !Fill())
                return any;
            any = true;
            const char* start = FBlock.data() + FPos;
            const auto* newline = static_cast<const char*>(std::memchr(start, '\n', FEnd - FPos));
            const std::size_t n = newline ? static_cast<std::size_t>(newline - start) : FEnd - FPos;
            if (!tooLong && line.size() + n <= kMaxHistoryLine)
                line.append(start, n);
            else {
                tooLong = true;
                line.clear();
            }
            FPos += n;
            if (newline) {
                ++FPos;
                return true;
            }
        }
    }

private:
    bool Fill()
    {
        FIn.read(FBlock.data(), static_cast<std::streamsize>(FBlock.size()));
        FPos = 0;
        FEnd = static_cast<std::size_t>(FIn.gcount());
        return FEnd > 0;
    }

    std::istream& FIn;
    std::vector<char> FBlock;
    std::size_t FPos = 0;
    std::size_t FEnd = 0;
};

} // namespace

std::vector<std::u16string> THistoryEntry::Fields() const
{
    return {DateTime, Year, Month, Event, Recipient, Archive, Size, Sha256, FilesPerTerminal,
            ReplyCode, EnhancedCode, ReplyText, Result, Manifest, ManifestSha256, State};
}

THistoryEntry THistoryEntry::FromFields(const std::vector<std::u16string>& fields)
{
    THistoryEntry e;
    std::u16string* targets[] = {&e.DateTime, &e.Year, &e.Month, &e.Event, &e.Recipient, &e.Archive, &e.Size,
                                 &e.Sha256, &e.FilesPerTerminal, &e.ReplyCode, &e.EnhancedCode, &e.ReplyText,
                                 &e.Result, &e.Manifest, &e.ManifestSha256, &e.State};
    for (std::size_t i = 0; i < std::size(targets) && i < fields.size(); ++i)
        *targets[i] = fields[i];
    return e;
}

std::u16string HistoryMonth(std::u16string_view monthText)
{
    const std::u16string number = MonthNumber(monthText);
    return number.empty() ? std::u16string(monthText) : number;
}

std::u16string HistoryDateTime(const platform::TLocalDateTime& when)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.Year, when.Month, when.Day, when.Hour,
                  when.Minute, when.Second);
    return Utf8ToUtf16(text);
}

std::string CsvRecord(const std::vector<std::u16string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += QuotedField(Utf16ToUtf8(fields[i]));
    }
    return line + "\r\n";
}

std::vector<std::vector<std::u16string>> ParseCsv(std::string_view text)
{
    std::vector<std::vector<std::u16string>> records;
    std::vector<std::u16string> record;
    std::string field;
    bool quoted = false;
    bool fieldStarted = false;
    const auto endField = [&] {
        record.push_back(Utf8ToUtf16(field));
        field.clear();
        fieldStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            endField();
            records.push_back(std::move(record));
            record.clear();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !record.empty()) {
        endField();
        records.push_back(std::move(record));
    }
    return records;
}

std::u16string EscapeHistoryField(std::u16string_view field)
{
    std::u16string escaped;
    escaped.reserve(field.size());
    for (const char16_t c : field) {
        if (c == u'%')
            escaped += u"%25";
        else if (c == u'\r')
            escaped += u"%0D";
        else if (c == u'\n')
            escaped += u"%0A";
        else
            escaped += c;
    }
    return escaped;
}

std::u16string UnescapeHistoryField(std::u16string_view field)
{
    std::u16string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const std::u16string_view code = field.substr(i, 3);
        // Only the three codes the writer makes; any other '%' stays as it is.
        if (code == u"%25" || code == u"%0D" || code == u"%0A") {
            text += code == u"%25" ? u'%' : code == u"%0D" ? u'\r' : u'\n';
            i += 2;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::string HistoryLine(const std::vector<std::u16string>& fields)
{
    std::vector<std::u16string> escaped;
    escaped.reserve(fields.size());
    for (const auto& f : fields)
        escaped.push_back(EscapeHistoryField(f));
    return CsvRecord(escaped);
}

std::size_t ReadHistory(std::istream& text, const std::function<void(THistoryEntry&&)>& visit)
{
    std::size_t skipped = 0;
    // A record whose quoted field is still open: an older version's field with a
    // line break, or a line torn by a crash.
    std::string pending;
    std::size_t pendingLines = 0;
    const auto emit = [&](std::string_view record) {
        if (!record.empty() && record.back() == '\r')
            record.remove_suffix(1);
        if (record.empty())
            return; // a blank line a hand edit may have left
        auto records = ParseCsv(record);
        if (records.size() != 1 || records.front().size() < kMinimumFields) {
            ++skipped;
            return;
        }
        if (records.front().front() == kHeader.front())
            return;
        for (auto& field : records.front())
            field = UnescapeHistoryField(field);
        visit(THistoryEntry::FromFields(records.front()));
    };
    TLineReader reader(text);
    std::string line;
    bool tooLong = false;
    while (reader.Next(line, tooLong)) {
        if (!pending.empty() && (tooLong || StartsRecord(line) || pending.size() + line.size() >= kMaxHistoryLine)) {
            skipped += pendingLines;
            pending.clear();
        }
        if (tooLong) {
            ++skipped;
            continue;
        }
        if (!pending.empty()) {
            pending += '\n';
            pending += line;
            ++pendingLines;
            if (!OddQuotes(line)) // the line break was inside the field; not closed yet
                continue;
            emit(pending);
            pending.clear();
            continue;
        }
        if (OddQuotes(line)) {
            pending = std::move(line);
            pendingLines = 1;
            continue;
        }
        emit(line);
    }
    if (!pending.empty())
        skipped += pendingLines;
    return skipped;
}

bool SharesRecipient(std::u16string_view typed, std::u16string_view other)
{
    TIdEMailAddressList these, those;
    these.SetEMailAddresses(String(typed));
    those.SetEMailAddresses(String(other));
    for (std::int32_t i = 0; i < these.Count(); ++i)
        for (std::int32_t j = 0; j < those.Count(); ++j)
            if (!these[i].Address().empty() && platform::EqualsIgnoreCase(these[i].Address(), those[j].Address()))
                return true;
    return false;
}

std::u16string ResendQuestion(const THistoryEntry& previous)
{
    return u"Este mês já foi enviado para " + previous.Recipient + u" em " + previous.DateTime
        + u". Enviar novamente?";
}

TSendHistory TSendHistory::ForDeployment(const platform::TWinPathRoots& roots)
{
    // The path is fixed text below drive C:, so it always maps.
    return TSendHistory(platform::TWinPathMapper(roots).Map(kSendHistoryPath).value_or(std::string()));
}

std::optional<platform::TFileLock> TSendHistory::Lock(std::chrono::milliseconds wait, int& error) const
{
    std::error_code ignored;
    std::filesystem::create_directories(platform::NativePath(FPath).parent_path(), ignored);
    return platform::TFileLock::Lock(LockPath(), wait, error);
}

void TSendHistory::Append(const THistoryEntry& entry) const
{
    std::error_code ignored;
    std::filesystem::create_directories(platform::NativePath(FPath).parent_path(), ignored);
    platform::AppendLine(FPath, CsvRecord(kHeader), HistoryLine(entry.Fields()));
}

std::size_t TSendHistory::ForEachEntry(const std::function<void(THistoryEntry&&)>& visit) const
{
    std::ifstream file(platform::NativePath(FPath), std::ios::binary);
    if (!file)
        return 0;
    return ReadHistory(file, visit);
}

std::vector<THistoryEntry> TSendHistory::Entries() const
{
    std::vector<THistoryEntry> entries;
    ForEachEntry([&entries](THistoryEntry&& e) { entries.push_back(std::move(e)); });
    return entries;
}

std::optional<THistoryEntry> TSendHistory::PreviousDelivery(std::u16string_view year, std::u16string_view month,
                                                            std::u16string_view recipient) const
{
    std::optional<THistoryEntry> found;
    ForEachEntry([&](THistoryEntry&& e) {
        const bool wholeMonth = e.State.empty() || e.State.starts_with(kStateWholeMonth);
        if (e.Event == kEventSend && e.Result == kResultDelivered && wholeMonth && e.Year == year && e.Month == month
            && SharesRecipient(e.Recipient, recipient))
            found = std::move(e);
    });
    return found;
}

} // namespace orvant::app
