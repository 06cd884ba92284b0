#include "app/ConsoleView.h"

#include "app/SendHistory.h"
#include "platform/Utf.h"

#include <algorithm>

namespace orvant::app {

namespace {

// Each line break (CR LF, CR or LF) becomes one blank.
void WriteMessageLine(std::ostream& out, std::u16string_view text)
{
    std::string line;
    for (char c : platform::Utf16ToUtf8(text)) {
        if (c == '\n' && !line.empty() && line.back() == '\r')
            continue;
        line += c;
    }
    for (auto& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    out << line << std::endl;
}

// Characters of UTF-8 text, as a terminal's columns count them for Latin text.
std::size_t DisplayWidth(const std::string& utf8)
{
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(),
                                                  [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

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
        std::vector<std::string> row;
        for (const std::u16string& cell : {e.DateTime, e.Month + u"/" + e.Year, e.Event, e.Recipient, e.Size, reply,
                                           e.Result})
            row.push_back(platform::Utf16ToUtf8(cell));
        rows.push_back(std::move(row));
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

TConsoleExtractionView::TConsoleExtractionView(std::ostream& messages, std::ostream& output,
                                               const platform::TWinPathMapper& mapper)
    : FMessages(messages), FOutput(output), FMapper(mapper)
{
}

void TConsoleExtractionView::ShowMessage(std::u16string_view text)
{
    WriteMessageLine(FMessages, text);
}

void TConsoleExtractionView::ShowMonthReport(const TMonthReport& report, std::u16string_view summaryPath)
{
    if (report.Problems.empty()) {
        WriteMessageLine(FMessages, report.Summary());
        return;
    }
    // The box's text, a line each: a log reader greps for "- PDV3".
    const std::u16string text = MonthReportMessage(report, summaryPath);
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t end = std::min(text.find(u'\n', from), text.size());
        WriteMessageLine(FMessages, std::u16string_view(text).substr(from, end - from));
        from = end + 1;
    }
}

void TConsoleDispatchView::ShowMessage(std::u16string_view text)
{
    WriteMessageLine(FMessages, text);
}

bool TConsoleDispatchView::ConfirmCaveat(std::u16string_view caveat)
{
    WriteMessageLine(FMessages, std::u16string(caveat)
                     + (FSendCaveated ? u" Enviando assim mesmo (--force)."
                                      : u" O e-mail não foi enviado; use --force para enviar assim mesmo."));
    return FSendCaveated;
}

bool TConsoleDispatchView::ConfirmResend(const THistoryEntry& previous)
{
    WriteMessageLine(FMessages, u"Este mês já foi enviado para " + previous.Recipient + u" em " + previous.DateTime
                     + (FResendDelivered ? u"; enviando de novo (--force)."
                                         : u"; o e-mail não foi enviado de novo. Use --force para enviar mesmo assim."));
    return FResendDelivered;
}

void TConsoleDispatchView::ShowWaiting(std::u16string_view text)
{
    WriteMessageLine(FMessages, text);
}

void TConsoleDispatchView::ShowPart(int part, int parts)
{
    FMessages << "Enviando a parte " << part << " de " << parts << "..." << std::endl;
}

void TConsoleExtractionView::OpenSendDialog(std::u16string_view attachmentPath)
{
    FOutput << platform::Utf16ToUtf8(attachmentPath);
    if (const auto mapped = FMapper.Map(attachmentPath))
        FOutput << " -> " << *mapped;
    FOutput << std::endl;
}

} // namespace orvant::app
