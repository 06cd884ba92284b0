#include "app/MonthReportFiles.h"

#include "platform/Utf.h"

namespace orvant::app {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::u16string BesideArchive(std::u16string_view archivePath, std::u16string_view suffix)
{
    if (archivePath.size() <= 3 || archivePath.substr(archivePath.size() - 3) != u".7z")
        return {};
    return std::u16string(archivePath.substr(0, archivePath.size() - 3)) + std::u16string(suffix);
}

std::string CsvField(std::string field, bool text)
{
    if (text && !field.empty() && (field[0] == '=' || field[0] == '+' || field[0] == '-' || field[0] == '@'))
        field.insert(0, 1, '\'');
    if (field.find_first_of(";\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

// "2026-11-21T09:03:00-03:00" -> "21/11/2026 09:03:00"; other texts as they are.
std::string SpreadsheetDateTime(const std::string& iso)
{
    if (iso.size() < 19 || iso[4] != '-' || iso[7] != '-' || iso[10] != 'T')
        return iso;
    return iso.substr(8, 2) + "/" + iso.substr(5, 2) + "/" + iso.substr(0, 4) + " " + iso.substr(11, 8);
}

std::string Totals(const TMonthTotals& t)
{
    return std::to_string(t.Invoices) + " notas, " + Utf16ToUtf8(FormatReais(t.InvoicesCents)) + "; canceladas: "
        + std::to_string(t.Cancelled) + ", " + Utf16ToUtf8(FormatReais(t.CancelledCents));
}

} // namespace

std::u16string ReportCsvPathFor(std::u16string_view archivePath)
{
    return BesideArchive(archivePath, u"-resumo.csv");
}

std::u16string ReportSummaryPathFor(std::u16string_view archivePath)
{
    return BesideArchive(archivePath, u"-resumo.txt");
}

std::string ReportCsvFileFor(const std::string& archiveFile)
{
    if (archiveFile.size() <= 3 || archiveFile.compare(archiveFile.size() - 3, 3, ".7z") != 0)
        return {};
    return archiveFile.substr(0, archiveFile.size() - 3) + "-resumo.csv";
}

std::string CsvLineStart(const TReportLine& l)
{
    return CsvField(Utf16ToUtf8(l.Terminal), true) + ";" + CsvField(Utf16ToUtf8(l.Folder), true) + ";"
        + CsvField(Utf16ToUtf8(l.Name), true) + ";" + CsvField(l.Key, true) + ";" + CsvField(l.Series, true) + ";"
        + CsvField(l.Number, true) + ";" + CsvField(SpreadsheetDateTime(l.IssuedAt), true) + ";"
        + (l.TotalCents >= 0 ? Utf16ToUtf8(FormatDecimalComma(l.TotalCents)) : std::string()) + ";";
}

std::string MonthReportCsv(const TMonthReport& report)
{
    std::string out(kByteOrderMark);
    out += "PDV;Pasta;Arquivo;Chave;Série;Número;Emissão;Valor;Situação\r\n";
    out.reserve(out.size() + report.Lines.size() * 200);
    for (const auto& l : report.Lines) {
        out += l.CsvStart.empty() ? CsvLineStart(l) : l.CsvStart;
        out += CsvField(Utf16ToUtf8(l.Status), true);
        out += "\r\n";
    }
    return out;
}

std::string MonthReportSummaryText(const TMonthReport& report)
{
    std::string out(kByteOrderMark);
    out += "Orvant - resumo do mês " + Utf16ToUtf8(report.Month) + "/" + Utf16ToUtf8(report.Year) + "\r\n\r\n"
        + Utf16ToUtf8(report.Summary()) + "\r\n\r\nPor PDV (notas autorizadas e não canceladas, e canceladas):\r\n";
    for (const auto& t : report.Terminals)
        out += "  " + Utf16ToUtf8(t.Terminal) + ": " + Totals(t.Totals) + "\r\n";
    out += "  Mês: " + Totals(report.Totals) + "\r\n\r\nNumeração por CNPJ e série:\r\n";
    for (const auto& s : report.Series) {
        std::string terminals;
        for (std::size_t i = 0; i < s.Terminals.size(); ++i)
            terminals += (i ? ", " : "") + Utf16ToUtf8(s.Terminals[i]);
        out += "  CNPJ " + s.Cnpj + ", série " + std::to_string(s.Series) + " (" + terminals + "): da nota "
            + std::to_string(s.First) + " à " + std::to_string(s.Last) + ", " + std::to_string(s.Issued)
            + " números emitidos\r\n";
    }
    out += report.Problems.empty() ? "\r\nNenhum problema encontrado.\r\n" : "\r\nProblemas:\r\n";
    for (const auto& p : report.Problems)
        out += "- " + Utf16ToUtf8(p.Text) + "\r\n";
    return out;
}

} // namespace orvant::app
