#pragma once
// The month's report: what an accountant checks first in the month's invoice
// files, done before the month leaves. Every file copied is read (InvoiceReader)
// and the month is checked per terminal and per issuer and series:
//
// - numbering: the first and last number, and every gap (a number neither issued
//   nor inside an accepted voided range) between them;
// - the same access key in two files, in one terminal or across terminals;
// - a cancellation whose invoice is not among the month's files;
// - an invoice without authorisation (off-line contingency not yet transmitted);
// - an invoice of another month, another CNPJ or the test environment;
// - an access key whose check digit is wrong or that does not match the file;
// - a file that is no NFC-e document or no XML at all.
//
// Totals: number and sum of vNF of the authorised invoices that were not
// cancelled, and of the cancelled ones, per terminal and for the month. Invoices
// that do not belong to the month (another month, CNPJ or environment) are
// named as problems and counted in neither.
//
// Problems are sentences a store owner acts on; they never stop a send by
// themselves.

#include "app/InvoiceReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

// "R$ 45.210,33"
std::u16string FormatReais(std::int64_t cents);
// "45210,33": the decimal comma Brazilian spreadsheets expect, no thousands mark.
std::u16string FormatDecimalComma(std::int64_t cents);
// "123.45" (a decimal point, at most two decimals) -> 12345; -1 when it is no such value.
std::int64_t ParseCents(std::string_view text);

struct TMonthTotals {
    int Invoices = 0;              // authorised, of the month, not cancelled
    std::int64_t InvoicesCents = 0;
    int Cancelled = 0;             // authorised, of the month, cancelled by an accepted event
    std::int64_t CancelledCents = 0;
};

struct TTerminalTotals {
    std::u16string Terminal; // PDV1
    TMonthTotals Totals;
};

// The numbering of one issuer and series in the month.
struct TSeriesRange {
    std::string Cnpj;
    int Series = 0;
    std::int64_t First = 0;
    std::int64_t Last = 0;
    int Issued = 0;                      // distinct numbers issued
    std::vector<std::u16string> Terminals;
};

// One line of the report's CSV: one file copied.
struct TReportLine {
    std::u16string Terminal;
    std::u16string Folder;
    std::u16string Name;
    std::string Key;
    std::string Series;
    std::string Number;
    std::string IssuedAt; // as the file has it
    std::int64_t TotalCents = -1; // -1: none (events, voided ranges, unreadable)
    std::u16string Status;
    // The CSV line up to the status, made as the file is checked (on the checks'
    // thread, while the copy goes on) rather than all at the end.
    std::string CsvStart;
};

struct TMonthProblem {
    std::u16string Terminal; // PDV1; empty when the problem spans terminals
    std::u16string Text;     // the whole sentence, terminal first
};

struct TMonthReport {
    std::u16string Year;  // "2026"
    std::u16string Month; // "11"
    int TerminalCount = 0;
    std::vector<TReportLine> Lines;
    std::vector<TMonthProblem> Problems;
    std::vector<TTerminalTotals> Terminals;
    std::vector<TSeriesRange> Series;
    TMonthTotals Totals;
    // Files were kept out of the month by the extraction itself (a share offline,
    // a file unreadable): the report then covers only what was copied.
    bool ExtractionIncomplete = false;

    // "Mês conferido: 4 PDVs, 873 notas, R$ 45.210,33; 2 problemas" (and "; extração
    // incompleta" when it was)
    std::u16string Summary() const;
    // The first `shown` problems, one "\n- ..." line each, and how many more.
    std::u16string ProblemList(std::size_t shown) const;
};

// "PDV1=318/9876,54/2/31,80;PDV2=...": per terminal the invoices and their sum,
// the cancelled ones and theirs, as the history keeps them.
std::u16string ReportTotalsPerTerminal(const TMonthReport& report);

// Collects the month's files as they are copied, then checks the month.
class TMonthCheck {
public:
    // `storeCnpjs`: the store's CNPJs (14 digits); when empty, the CNPJ most of
    // the month's invoices carry is taken as the store's.
    TMonthCheck(std::u16string year, std::u16string month, std::vector<std::string> storeCnpjs = {});
    ~TMonthCheck();
    TMonthCheck(const TMonthCheck&) = delete;
    TMonthCheck& operator=(const TMonthCheck&) = delete;

    // A terminal of the month, in the order handled (also one without files).
    void AddTerminal(std::u16string_view terminal);
    // `folder`: kIssuedFolder or kCancelledFolder.
    void Add(std::u16string_view terminal, std::u16string_view folder, std::u16string_view name,
             const TInvoiceDocument& document);

    // Once only: the files' lines move into the report.
    TMonthReport Finish();

private:
    struct TState;
    std::unique_ptr<TState> F;
};

} // namespace orvant::app
