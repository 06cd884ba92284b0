#pragma once
// The store's terminal list as the suite's configuration file gives it, and the
// month names of the main window with their two-digit numbers.

#include "platform/IniFile.h"

#include <array>
#include <string>
#include <string_view>

namespace orvant::app {

inline constexpr int kTerminalCount = 20;
inline constexpr std::u16string_view kConfigFilePath = u"C:\\Kelmora\\Server\\Orvant.ini";
inline constexpr std::u16string_view kConfigSection = u"PDV";

// "Janeiro" .. "Dezembro", index 0 = January.
extern const std::array<std::u16string_view, 12> kMonthNames;

std::u16string TerminalKey(int number);                   // 3 -> "PDV3"
std::u16string ComputerKey(std::u16string_view terminalKey); // "PDV3_COMPUTADOR"

// Only the exact text "TRUE" enables a terminal: "true" or "1" do not.
bool IsTerminalEnabled(std::u16string_view value);

// "Março" -> "03"; any other text (also a differently written name) -> "".
std::u16string MonthNumber(std::u16string_view monthText);

struct TTerminalEntry {
    std::u16string Key;          // PDV1
    bool Enabled = false;
    std::u16string ComputerName; // CAIXA01
};

TTerminalEntry ReadTerminal(const platform::TIniFile& config, int number);

} // namespace orvant::app
