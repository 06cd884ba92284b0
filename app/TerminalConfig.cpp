#include "app/TerminalConfig.h"

namespace orvant::app {

const std::array<std::u16string_view, 12> kMonthNames = {
    u"Janeiro", u"Fevereiro", u"Março", u"Abril", u"Maio", u"Junho",
    u"Julho", u"Agosto", u"Setembro", u"Outubro", u"Novembro", u"Dezembro",
};

std::u16string TerminalKey(int number)
{
    std::u16string key = u"PDV";
    for (char c : std::to_string(number))
        key += static_cast<char16_t>(c);
    return key;
}

std::u16string ComputerKey(std::u16string_view terminalKey)
{
    return std::u16string(terminalKey) + u"_COMPUTADOR";
}

bool IsTerminalEnabled(std::u16string_view value)
{
    return value == u"TRUE";
}

std::u16string MonthNumber(std::u16string_view monthText)
{
    for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
        if (monthText == kMonthNames[i]) {
            const int m = static_cast<int>(i) + 1;
            return {static_cast<char16_t>(u'0' + m / 10), static_cast<char16_t>(u'0' + m % 10)};
        }
    }
    return {};
}

TTerminalEntry ReadTerminal(const platform::TIniFile& config, int number)
{
    TTerminalEntry entry;
    entry.Key = TerminalKey(number);
    entry.Enabled = IsTerminalEnabled(config.ReadString(kConfigSection, entry.Key));
    if (entry.Enabled)
        entry.ComputerName = config.ReadString(kConfigSection, ComputerKey(entry.Key));
    return entry;
}

} // namespace orvant::app
