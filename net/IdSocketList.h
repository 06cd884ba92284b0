#pragma once
// TIdSocketList: a set of up to 64 sockets to wait on for readability. Each list has
// its own lock: sockets may be added and removed on one thread while another waits
// (the wait works on a copy taken under the lock).

#include "net/IdStack.h"

#include <memory>
#include <mutex>

class TIdSocketList {
public:
    TIdSocketList() = default;
    virtual ~TIdSocketList() = default;
    TIdSocketList(const TIdSocketList&) = delete;
    TIdSocketList& operator=(const TIdSocketList&) = delete;

    // A new, empty list of the kind the system's stack works with (TIdSocketListPosix,
    // TIdSocketListWindows), defined in IdStackSystemPosix.cpp / ...Windows.cpp.
    static std::unique_ptr<TIdSocketList> CreateSocketList();

    // EListError when the index is outside 0 .. Count() - 1.
    virtual TIdStackSocketHandle GetItem(int AIndex) const = 0;
    // Raises EIdStackSetSizeExceeded "Set Size Exceeded." when the list already holds
    // 64 sockets; a socket already in the list is not added twice.
    virtual void Add(TIdStackSocketHandle AHandle) = 0;
    virtual std::unique_ptr<TIdSocketList> Clone() const = 0;
    virtual int Count() const = 0;
    // A socket that is not in the list is ignored.
    virtual void Remove(TIdStackSocketHandle AHandle) = 0;
    virtual void Clear() = 0;
    virtual bool ContainsSocket(TIdStackSocketHandle AHandle) const = 0;
    // True when at least one socket is readable (data, the peer's close or an error
    // waiting) within ATimeout milliseconds; IdWaitWithoutLimit waits as long as it
    // takes. Failures raise through the shared stack, so a stack must be in use; an
    // empty list, or a negative time-out other than IdWaitWithoutLimit, raises 10022
    // "Invalid argument." (waiting on nothing would never end).
    virtual bool SelectRead(int ATimeout = IdWaitWithoutLimit) = 0;

protected:
    mutable std::mutex FLock;
};
