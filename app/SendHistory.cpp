#include "app/SendHistory.h"

#include "app/TerminalConfig.h"
#include "mail/IdEMailAddress.h"
#include "platform/CaseFold.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

void WriteAll(int fd, const std::string& bytes, const std::string& path)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::system_error(errno, std::generic_category(), "write " + path);
        done += static_cast<std::size_t>(n);
    }
}

std::size_t DisplayWidth(const std::string& utf8)
{
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(),
                                                  [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

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

std::u16string RecipientAddress(std::u16string_view typed)
{
    return TIdEMailAddressItem(nullptr, String(typed)).Address();
}

std::u16string ResendQuestion(const THistoryEntry& previous)
{
    return u"Este mês já foi enviado para " + previous.Recipient + u" em " + previous.DateTime
        + u". Enviar novamente?";
}

std::string HistoryTable(const std::vector<THistoryEntry>& entries)
{
    std::vector<std::vector<std::string>> rows = {
        {"Data e hora", "Mês", "Evento", "Destinatário", "Tamanho", "Resposta do servidor", "Resultado"}};
    for (const auto& e : entries) {
        std::u16string reply = e.ReplyCode;
        for (const std::u16string* part : {&e.EnhancedCode, &e.ReplyText}) {
            if (!part->empty())
                reply += (reply.empty() ? u"" : u" ") + *part;
        }
        rows.push_back({Utf16ToUtf8(e.DateTime), Utf16ToUtf8(e.Month + u"/" + e.Year), Utf16ToUtf8(e.Event),
                        Utf16ToUtf8(e.Recipient), Utf16ToUtf8(e.Size), Utf16ToUtf8(reply), Utf16ToUtf8(e.Result)});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Line breaks of a multi-line reply would break the table's rows.
            std::string cell = row[i];
            std::replace_if(cell.begin(), cell.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
            line += cell;
            if (i + 1 < row.size())
                line += std::string(widths[i] - DisplayWidth(cell) + 2, ' ');
        }
        table += line + "\n";
    }
    return table;
}

TSendHistory TSendHistory::ForDeployment(const platform::TWinPathRoots& roots)
{
    // The path is fixed text below drive C:, so it always maps.
    return TSendHistory(platform::TWinPathMapper(roots).Map(kSendHistoryPath).value_or(std::string()));
}

void TSendHistory::Append(const THistoryEntry& entry) const
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(FPath).parent_path(), ignored);
    const int fd = ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "open " + FPath);
    try {
        struct stat st {};
        std::string bytes;
        if (::fstat(fd, &st) == 0 && st.st_size == 0)
            bytes = CsvRecord(kHeader);
        bytes += CsvRecord(entry.Fields());
        WriteAll(fd, bytes, FPath);
        if (::fsync(fd) != 0)
            throw std::system_error(errno, std::generic_category(), "fsync " + FPath);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

std::vector<THistoryEntry> TSendHistory::Entries() const
{
    std::ifstream file(FPath, std::ios::binary);
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    std::vector<THistoryEntry> entries;
    for (const auto& record : ParseCsv(text.str())) {
        // The header, and blank lines a hand edit may have left.
        if (record.front() == kHeader.front() || (record.size() == 1 && record.front().empty()))
            continue;
        entries.push_back(THistoryEntry::FromFields(record));
    }
    return entries;
}

std::optional<THistoryEntry> TSendHistory::PreviousDelivery(std::u16string_view year, std::u16string_view month,
                                                            std::u16string_view recipient) const
{
    const std::u16string address = RecipientAddress(recipient);
    std::optional<THistoryEntry> found;
    for (auto& e : Entries()) {
        const bool wholeMonth = e.State.empty() || e.State.starts_with(kStateWholeMonth);
        if (e.Event == kEventSend && e.Result == kResultDelivered && wholeMonth && e.Year == year && e.Month == month
            && platform::EqualsIgnoreCase(RecipientAddress(e.Recipient), address))
            found = std::move(e);
    }
    return found;
}

} // namespace orvant::app
