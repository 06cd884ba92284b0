#include "platform/ChildWatch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvant::platform {

namespace {

// How often HasEnded() is asked when there is no process descriptor to wait on.
constexpr std::chrono::milliseconds kEndCheckInterval{50};

// Through syscall(): glibc's own wrapper is missing from older releases, and
// its 2.36 header does not declare it for C++.
int OpenProcessDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

} // namespace

// The child is not reaped yet, so its id cannot have been reused: the
// descriptor names this very process. It is close-on-exec by default.
TChildWatch::TChildWatch(pid_t pid) : FPid(pid), FEndFd(OpenProcessDescriptor(pid))
{
}

bool TChildWatch::HasEnded() const
{
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        if (errno != EINTR)
            return true; // not our child (any more): nothing left to wait for
    }
    return info.si_pid != 0;
}

bool TChildWatch::WaitEnd(TClock::time_point deadline) const
{
    while (!HasEnded()) {
        if (TClock::now() >= deadline)
            return false;
        pollfd end{FEndFd.Get(), POLLIN, 0};
        ::poll(&end, 1, PollTimeout(NextCheck(deadline))); // a negative fd is skipped: a plain sleep
    }
    return true;
}

TChildWatch::TClock::time_point TChildWatch::NextCheck(TClock::time_point deadline) const
{
    return FEndFd.IsOpen() ? deadline : std::min(deadline, TClock::now() + kEndCheckInterval);
}

std::optional<int> TChildWatch::Reap() const
{
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    return status;
}

int PollTimeout(TChildWatch::TClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TChildWatch::TClock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

} // namespace orvant::platform
