#pragma once
// The extraction run's window, for a terminal: every message that the main
// window would show in a box becomes one line of standard error; the archive's
// path goes to standard output. The progress bar and the button have no
// equivalent and are ignored.

#include "app/ExtractionRun.h"
#include "app/MailDispatch.h"

#include <ostream>
#include <string>
#include <vector>

namespace orvant::app {

// The history's entries as a table for a terminal (orvant-cli historico): date,
// month, event, recipient, size, the server's reply, result.
std::string HistoryTable(const std::vector<THistoryEntry>& entries);

class TConsoleExtractionView final : public IExtractionView {
public:
    TConsoleExtractionView(std::ostream& messages, std::ostream& output,
                           const platform::TWinPathMapper& mapper);

    void SetExtractButton(bool, std::u16string_view) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
    void ShowMessage(std::u16string_view text) override;
    void OpenSendDialog(std::u16string_view attachmentPath) override;
    // The summary, then each problem shown on a line of its own.
    void ShowMonthReport(const TMonthReport& report, std::u16string_view summaryPath) override;

private:
    std::ostream& FMessages;
    std::ostream& FOutput;
    const platform::TWinPathMapper& FMapper;
};

// The mail dispatch's window, for a terminal: messages on standard error, one a
// line; no byte progress (a scheduled job's output is read afterwards, if at
// all), but a line before each part of an archive sent in volumes.
// An incomplete or empty month goes only when `sendCaveated` (orvant-cli send
// --force), a month already delivered to the address only when `resendDelivered`
// (send or run --force); either way the reason is printed.
class TConsoleDispatchView final : public IMailDispatchView {
public:
    explicit TConsoleDispatchView(std::ostream& messages, bool sendCaveated = false, bool resendDelivered = false)
        : FMessages(messages), FSendCaveated(sendCaveated), FResendDelivered(resendDelivered) {}

    void ShowMessage(std::u16string_view text) override;
    void ShowProgress(std::uint64_t, std::uint64_t) override {}
    void CloseDialog() override {}
    void ShowPart(int part, int parts) override;
    bool ConfirmCaveat(std::u16string_view caveat) override;
    bool ConfirmResend(const THistoryEntry& previous) override;
    void ShowWaiting(std::u16string_view text) override;

private:
    std::ostream& FMessages;
    bool FSendCaveated;
    bool FResendDelivered;
};

} // namespace orvant::app
