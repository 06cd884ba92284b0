#pragma once
// The month's report made again from what an extraction left in the staging
// tree (C:\Kelmora\Orvant\Arquivos\ANO\MM\PDVn\{Transmitidas,Canceladas}), for
// orvant-cli report: the same checks as during the extraction, on the copies.

#include "app/MonthReport.h"
#include "platform/WinFileSystem.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

// Nothing when the month has no staging folder (it was never extracted).
std::optional<TMonthReport> ReportStagedMonth(const platform::TWinFileSystem& fileSystem, std::u16string_view year,
                                              std::u16string_view month, const std::vector<std::string>& storeCnpjs);

} // namespace orvant::app
