#pragma once
// A guardian process for a started program's process group: it waits on the
// reading end of a "lifeline" pipe whose writing end only this process holds,
// and when that end closes (on purpose, or because this process died in any
// way, SIGKILL included) it kills the whole group with SIGKILL and ends.

#include <sys/types.h>

namespace orvant::platform {

// Forks the guardian of `processGroup`; it keeps only `lifelineReadEnd` of the
// descriptors it inherits. The guardian, -1 (errno set) when fork failed.
pid_t StartProcessGuardian(pid_t processGroup, int lifelineReadEnd);

} // namespace orvant::platform
