#include "platform/ProcessGuardian.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <unistd.h>

namespace orvant::platform {

namespace {

// Signals that reach a terminal's whole foreground group (Ctrl-C, Ctrl-\, a
// closed terminal) or a plain "kill": the guardian must outlive Orvant to do
// its job, and Ctrl-Z must not stop it before then.
void IgnoreStopAndEndSignals()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP})
        ::sigaction(signal, &ignore, nullptr);
}

// Keeps the lifeline alone, on descriptor 0: a guardian holding a copy of the
// lifeline's writing end would never see it close, one holding an output pipe
// or a socket would keep it open for its reader or peer.
void KeepOnlyTheLifeline(int lifelineReadEnd, long descriptorLimit)
{
    if (lifelineReadEnd != 0)
        ::dup2(lifelineReadEnd, 0);
    if (::close_range(1, ~0U, 0) == 0)
        return;
    for (long fd = 1; fd < descriptorLimit; ++fd) // kernels before 5.9
        ::close(static_cast<int>(fd));
}

// Runs in the forked child of a possibly multi-threaded process: only
// async-signal-safe calls from here on, and no return into the caller's code.
[[noreturn]] void GuardProcessGroup(pid_t processGroup, int lifelineReadEnd, long descriptorLimit)
{
    IgnoreStopAndEndSignals();
    KeepOnlyTheLifeline(lifelineReadEnd, descriptorLimit);
    char byte;
    for (;;) {
        const ssize_t n = ::read(0, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
    }
    ::kill(-processGroup, SIGKILL);
    ::_exit(0);
}

} // namespace

pid_t StartProcessGuardian(pid_t processGroup, int lifelineReadEnd)
{
    const long descriptorLimit = ::sysconf(_SC_OPEN_MAX); // not async-signal-safe: asked before fork
    const pid_t pid = ::fork();
    if (pid == 0)
        GuardProcessGroup(processGroup, lifelineReadEnd, descriptorLimit);
    return pid;
}

} // namespace orvant::platform
