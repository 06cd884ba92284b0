#pragma once
// The month's report as files beside the archive, for the accountant:
//   C:\...\Enviar\2026\11.7z -> 11-resumo.csv (one line per file copied) and
//   11-resumo.txt (the summary, the numbering of each series, the problems).
//
// The CSV is made for a Brazilian spreadsheet as it opens a file by double-click:
// UTF-8 with a byte-order mark (else the accents come out wrong), fields separated
// by ';' (the list separator of the pt-BR locale, where ',' is the decimal mark),
// values with a decimal comma, dates as DD/MM/YYYY HH:MM:SS, lines ending CR LF.
// A text field that a spreadsheet would take for a formula (=, +, -, @ first) is
// written with a leading apostrophe: file names come from the terminals.

#include "app/MonthReport.h"

#include <string>
#include <string_view>

namespace orvant::app {

// Empty when the archive's name does not end in ".7z".
std::u16string ReportCsvPathFor(std::u16string_view archivePath);
std::u16string ReportSummaryPathFor(std::u16string_view archivePath);
// The same rule for the archive's file as the system names it (/.../11.7z).
std::string ReportCsvFileFor(const std::string& archiveFile);

std::string MonthReportCsv(const TMonthReport& report);
// A line's fields up to the status, with the separator after the total.
std::string CsvLineStart(const TReportLine& line);
std::string MonthReportSummaryText(const TMonthReport& report);

} // namespace orvant::app
