#pragma once
// A started program, leader of its own process group, owned until it and the
// rest of its group are gone. A guardian process kills the group should this
// process die first; Finish() (or the destructor, when an exception leaves
// early) kills whatever is left of the group, ends the guardian and reaps both.

#include "platform/ChildWatch.h"
#include "platform/FileDescriptor.h"

#include <optional>
#include <sys/types.h>

namespace orvant::platform {

class TOwnedProcessGroup {
public:
    // Starts the guardian of `leader`'s group on `lifeline`, a fresh pipe whose
    // ends nobody else holds.
    TOwnedProcessGroup(pid_t leader, TPipe lifeline);
    ~TOwnedProcessGroup() { Finish(); }
    TOwnedProcessGroup(const TOwnedProcessGroup&) = delete;
    TOwnedProcessGroup& operator=(const TOwnedProcessGroup&) = delete;

    // errno of a failed guardian start; the group has been killed then.
    int GuardianError() const { return FGuardianError; }
    const TChildWatch& Leader() const { return FLeader; }
    // SIGKILL to every process of the group; safe until Finish, because the
    // leader, even ended, keeps the group's id while it is not reaped.
    void Kill() const;
    // Kills what is left, ends the guardian, reaps the leader and returns its
    // wait status (nothing when it could not be had).
    std::optional<int> Finish();

private:
    void EndGuardian();

    TChildWatch FLeader;
    TFileDescriptor FLifeline;
    std::optional<TChildWatch> FGuardian;
    int FGuardianError = 0;
    bool FFinished = false;
    std::optional<int> FStatus;
};

} // namespace orvant::platform
