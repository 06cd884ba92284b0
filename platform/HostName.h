#pragma once
// The machine's host name, standing in for the Windows host and computer name calls.

#include <string>

namespace orvant::platform {

// gethostname as UTF-8 bytes, up to the first zero byte; empty when it cannot be read.
std::string HostName();

} // namespace orvant::platform
