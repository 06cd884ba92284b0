#pragma once
// The SHA-256 of a file, through the TLS library's digest functions (the same
// run-time binding the mail connection uses; the program does not link it).

#include <string>

namespace orvant::app {

// Lower-case hex; empty when the file cannot be read or the library offers no
// SHA-256. The library is left loaded or unloaded as it was found.
std::string Sha256OfFile(const std::string& path);

} // namespace orvant::app
