#include "platform/ProcessOutput.h"

#include <utility>

namespace orvant::platform {

void TOutputTail::Append(std::string_view data)
{
    FText.append(data);
    if (FText.size() > 2 * FSize) // trimmed now and then, not on every piece
        FText.erase(0, FText.size() - FSize);
}

std::string TOutputTail::Take()
{
    if (FText.size() > FSize)
        FText.erase(0, FText.size() - FSize);
    return std::move(FText);
}

} // namespace orvant::platform
