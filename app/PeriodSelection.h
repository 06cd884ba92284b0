#pragma once
// What a year or month typed into the main window's lists (or given to
// orvant-cli) names. The lists are editable, so the text may be anything; a path
// built from a text that names no entry would lack its year or month and let
// 7-Zip gather the staged files of other months.

#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

// 0..11 for a month name without regard to case or accents ("marco", "MARÇO")
// or its number ("3", "03"); -1 for anything else. Blanks around are ignored.
int MonthIndexOf(std::u16string_view text);

// The index in `years` of the typed year (blanks around ignored); -1 when the
// text is none of them.
int YearIndexOf(std::u16string_view text, const std::vector<std::u16string>& years);

// Four digits: a year text a path may be built from.
bool IsYearText(std::u16string_view text);

// What the user reads when a typed text names no entry.
std::u16string MonthRefusal(std::u16string_view typed);
std::u16string YearRefusal(std::u16string_view typed, const std::vector<std::u16string>& years);

} // namespace orvant::app
