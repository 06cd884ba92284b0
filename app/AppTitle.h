#pragma once
// The application's title, the caption of every message box: the executable's
// file name without its folder, cut before its first dot, with every character
// after the first in lower case ("/opt/ABC.Tool.exe" -> "Abc").

#include <string>
#include <string_view>

namespace orvant::app {

std::u16string ApplicationTitle(std::u16string_view executablePath);

} // namespace orvant::app
