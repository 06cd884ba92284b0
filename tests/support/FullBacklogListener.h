#pragma once
// A listening loopback socket whose accept queue is full: with a backlog of 0 the one
// connection it makes to itself fills the queue, so the system drops every further
// connection request and a client's connect stays pending (until its own time-out).
// For tests of connect time-outs that never leave the machine.

#include "support/LoopbackPeer.h"

#include <cstdint>

class FullBacklogListener {
public:
    FullBacklogListener();
    std::uint16_t Port() const { return FPort; }

private:
    ScopedFd FSocket;
    std::uint16_t FPort = 0;
    ScopedFd FQueued;
};
