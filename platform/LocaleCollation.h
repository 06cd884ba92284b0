#pragma once
// Ordering of texts as the user's locale orders them (the collation of LC_COLLATE,
// which the Qt application takes from the environment at start-up).

#include <string_view>

namespace orvant::platform {

// <0, 0 or >0 as a sorts before, with or after b; letter case is significant.
// Texts the locale ranks equal are ordered by their code units, so that only
// identical texts compare equal.
int CompareStringsByLocale(std::u16string_view a, std::u16string_view b);

} // namespace orvant::platform
