#include "app/ConsoleView.h"

#include "platform/Utf.h"

namespace orvant::app {

TConsoleExtractionView::TConsoleExtractionView(std::ostream& messages, std::ostream& output,
                                               const platform::TWinPathMapper& mapper)
    : FMessages(messages), FOutput(output), FMapper(mapper)
{
}

void TConsoleExtractionView::ShowMessage(std::u16string_view text)
{
    std::string line = platform::Utf16ToUtf8(text);
    for (auto& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    FMessages << line << std::endl;
}

void TConsoleExtractionView::OpenSendDialog(std::u16string_view attachmentPath)
{
    FOutput << platform::Utf16ToUtf8(attachmentPath);
    if (const auto mapped = FMapper.Map(attachmentPath))
        FOutput << " -> " << *mapped;
    FOutput << std::endl;
}

} // namespace orvant::app
