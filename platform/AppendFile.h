#pragma once
// Appending whole lines to a log that is never rewritten (the send history): one
// write per line with O_APPEND, then fsync, so a line is either in the file or
// cut short by a crash, never interleaved with another process's line.

#include <string>
#include <string_view>

namespace orvant::platform {

// Appends `line` to `path`, creating it (owner and group only) with `firstLine`
// before it when the file is new or empty. When the file's last line was cut short
// (no line feed at its end), a CR LF comes first, so that `line` starts a line of
// its own. Raises std::system_error when the file cannot be opened, written or
// forced to disk.
void AppendLine(const std::string& path, std::string_view firstLine, std::string_view line);

} // namespace orvant::platform
