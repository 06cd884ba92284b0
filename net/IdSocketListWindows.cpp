#include "net/IdSocketListWindows.h"

#include "net/IdStackErrors.h"
#include "net/IdWinsock.h"

static_assert(FD_SETSIZE == TIdSocketListBSD::MaxHandles, "a descriptor set holds the whole list");

std::unique_ptr<TIdSocketList> TIdSocketListWindows::Clone() const
{
    auto copy = std::make_unique<TIdSocketListWindows>();
    CopyTo(*copy);
    return copy;
}

// select() counts as readable what TIdSocketListPosix looks for: data or a pending
// connection, the peer's close or reset. A socket of the set that was closed makes
// it fail with 10038 "Socket operation on non-socket."
bool TIdSocketListWindows::SelectRead(int ATimeout)
{
    THandles handles;
    const int count = Snapshot(handles);
    TIdStack& stack = GStack();
    const bool unlimited = ATimeout == IdWaitWithoutLimit;
    if (count == 0 || (ATimeout < 0 && !unlimited))
        stack.RaiseSocketError(Id_WSAEINVAL);
    const TIdWinsockEntryPoints* api = Winsock();
    if (api == nullptr)
        stack.RaiseSocketError(WSANOTINITIALISED);

    fd_set set;
    set.fd_count = static_cast<u_int>(count);
    for (int i = 0; i < count; ++i)
        set.fd_array[i] = static_cast<SOCKET>(handles[static_cast<std::size_t>(i)]);
    timeval time{ATimeout / 1000, (ATimeout % 1000) * 1000};
    const int result = api->select(0, &set, nullptr, nullptr, unlimited ? nullptr : &time);
    stack.CheckForSocketError(result);
    return result > 0;
}
