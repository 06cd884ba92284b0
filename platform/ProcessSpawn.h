#pragma once
// Starts a program with posix_spawn (never through a shell) as the leader of a
// new process group, so that it and everything it starts can be killed as one.

#include <string>
#include <sys/types.h>
#include <vector>

namespace orvant::platform {

// Standard input is /dev/null; standard output and error go to the given
// descriptors (they may be the same). The child's signal mask is cleared and
// SIGINT, SIGTERM, SIGHUP and SIGPIPE are back to their defaults, whatever this
// process blocks or ignores. Returns 0 and sets `pid`, or the error number.
int SpawnInNewProcessGroup(const std::string& program, const std::vector<std::string>& args, int standardOutput,
                           int standardError, pid_t& pid);

} // namespace orvant::platform
