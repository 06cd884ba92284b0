#pragma once
// Watches a child process for its end without reaping it. While the ended child
// is a zombie its id, and so the id of the process group it leads, cannot be
// given to another process: the group can still be signalled without hitting a
// stranger. Reap() then collects the status.

#include "platform/FileDescriptor.h"

#include <chrono>
#include <optional>
#include <sys/types.h>

namespace orvant::platform {

class TChildWatch {
public:
    using TClock = std::chrono::steady_clock;

    explicit TChildWatch(pid_t pid);

    pid_t Pid() const { return FPid; }
    // Readable once the child has ended; -1 where the system has no process
    // descriptors (Linux before 5.3), and HasEnded() is asked on a short tick.
    int EndFd() const { return FEndFd.Get(); }
    bool HasEnded() const;
    // When to look again at the latest, waiting on EndFd() until the deadline.
    TClock::time_point NextCheck(TClock::time_point deadline) const;
    // Whether the child ended before the deadline.
    bool WaitEnd(TClock::time_point deadline) const;
    // Waits for the child, which has ended or been sent SIGKILL, and returns
    // its wait status; nothing when it was not ours to wait for.
    std::optional<int> Reap() const;

private:
    pid_t FPid;
    TFileDescriptor FEndFd;
};

// Milliseconds from now to the deadline for poll(), rounded up, at least 0.
int PollTimeout(TChildWatch::TClock::time_point deadline);

} // namespace orvant::platform
