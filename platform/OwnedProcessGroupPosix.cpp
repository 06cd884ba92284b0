#include "platform/OwnedProcessGroup.h"

#include "platform/ProcessGuardian.h"

#include <cerrno>
#include <csignal>

namespace orvant::platform {

namespace {

// The guardian only has to see the lifeline close and send one signal; one
// that does not end by then is stopped or stuck, and is killed.
constexpr std::chrono::seconds kGuardianEndLimit{5};

} // namespace

TOwnedProcessGroup::TOwnedProcessGroup(pid_t leader, TPipe lifeline)
    : FLeader(leader), FLifeline(std::move(lifeline.WriteEnd))
{
    const pid_t guardian = StartProcessGuardian(leader, lifeline.ReadEnd.Get());
    if (guardian < 0) {
        FGuardianError = errno;
        Kill(); // a program nobody would kill if we died is not run at all
        return;
    }
    FGuardian.emplace(guardian);
    // Our copy of the reading end closes on return: the guardian's is the only one.
}

void TOwnedProcessGroup::Kill() const
{
    if (!FFinished)
        ::kill(-FLeader.Pid(), SIGKILL);
}

std::optional<int> TOwnedProcessGroup::Finish()
{
    if (FFinished)
        return FStatus;
    Kill();
    EndGuardian();
    FStatus = FLeader.Reap();
    FFinished = true;
    return FStatus;
}

// Closing the lifeline makes the guardian kill the group once more and end.
// The leader is reaped only after that, so the group's id is still ours then.
void TOwnedProcessGroup::EndGuardian()
{
    FLifeline.Close();
    if (!FGuardian)
        return;
    if (!FGuardian->WaitEnd(TChildWatch::TClock::now() + kGuardianEndLimit))
        ::kill(FGuardian->Pid(), SIGKILL);
    FGuardian->Reap();
}

} // namespace orvant::platform
