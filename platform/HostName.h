#pragma once
// The machine's host name: gethostname on Linux, GetComputerNameExW (the DNS host
// name) on Windows.

#include <string>

namespace orvant::platform {

// As UTF-8 bytes; empty when it cannot be read.
std::string HostName();

} // namespace orvant::platform
