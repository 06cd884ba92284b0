#include "app/ConsoleView.h"

#include "app/SendHistory.h"
#include "platform/Utf.h"

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

} // namespace

TConsoleExtractionView::TConsoleExtractionView(std::ostream& messages, std::ostream& output,
                                               const platform::TWinPathMapper& mapper)
    : FMessages(messages), FOutput(output), FMapper(mapper)
{
}

void TConsoleExtractionView::ShowMessage(std::u16string_view text)
{
    WriteMessageLine(FMessages, text);
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
