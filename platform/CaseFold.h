#pragma once
// Case-insensitive comparison of file, section and key names the way Windows
// compares them: per UTF-16 unit, both sides folded to one case. Covers ASCII and
// the Latin letters used in Portuguese and the other Western European languages.

#include <string>
#include <string_view>

namespace orvant::platform {

char16_t FoldCase(char16_t c);
std::u16string FoldCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Windows file-search match of a name against a pattern with '*' and '?',
// without regard to case. "*.*" matches every name, with or without a dot.
bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name);

} // namespace orvant::platform
