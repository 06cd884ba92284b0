#include "app/AccessKey.h"

#include <algorithm>

namespace orvant::app {

namespace {

bool AllDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

int AccessKeyCheckDigit(std::string_view first43)
{
    if (first43.size() != kAccessKeyLength - 1 || !AllDigits(first43))
        return -1;
    int sum = 0;
    int weight = 2;
    for (auto it = first43.rbegin(); it != first43.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = weight == 9 ? 2 : weight + 1;
    }
    const int rest = sum % 11;
    return rest < 2 ? 0 : 11 - rest;
}

bool TAccessKey::CheckDigitRight() const
{
    return AccessKeyCheckDigit(std::string_view(Digits).substr(0, kAccessKeyLength - 1)) == CheckDigit() - '0';
}

std::optional<TAccessKey> ParseAccessKey(std::string_view text)
{
    if (text.substr(0, 3) == "NFe")
        text.remove_prefix(3);
    if (text.size() != kAccessKeyLength || !AllDigits(text))
        return std::nullopt;
    return TAccessKey {std::string(text)};
}

} // namespace orvant::app
