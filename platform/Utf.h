#pragma once
// UTF-8 <-> UTF-16 conversion at the operating-system boundary.
//
// Text inside the program is UTF-16 (std::u16string); Linux file names, command
// lines, environment values and terminal output are UTF-8. Ill-formed input never
// throws: a bad UTF-8 sequence or a lone surrogate becomes U+FFFD.

#include <string>
#include <string_view>

namespace orvant::platform {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

} // namespace orvant::platform
