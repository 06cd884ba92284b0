#pragma once
// A file error (errno) as a store's user reads it: short Portuguese for the ones
// a share, a full disk or a locked file give, the system's own text otherwise.

#include <string>

namespace orvant::app {

std::u16string FileErrorText(int errnoValue);

} // namespace orvant::app
