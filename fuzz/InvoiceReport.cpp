// One terminal file as the month's report reads it: any bytes. The document is
// read, then checked as a month would hold it (twice, in two terminals, so the
// duplicate and cancellation paths run too), and written as the report's CSV.
#include "app/InvoiceReader.h"
#include "app/MonthManifest.h"
#include "app/MonthReport.h"
#include "app/MonthReportFiles.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orvant::app;
    const TInvoiceDocument document = ReadInvoiceDocument(std::string_view(reinterpret_cast<const char*>(data), size));
    if (document.Kind == TDocumentKind::dkNotWellFormed && document.Problem.empty())
        __builtin_trap(); // a refused file always says why
    TMonthCheck check(u"2026", u"11");
    check.Add(u"PDV1", kIssuedFolder, u"a.xml", document);
    check.Add(u"PDV2", kCancelledFolder, u"b.xml", document);
    const TMonthReport report = check.Finish();
    if (report.Lines.size() != 2)
        __builtin_trap();
    MonthReportCsv(report);
    MonthReportSummaryText(report);
    return 0;
}
