#include "net/IdSocketListPosix.h"

#include "net/IdStackErrors.h"
#include "smtp/IdExceptionCore.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

// What select() counts as readable: data or a pending connection, the peer's close,
// or an error waiting to be reported.
constexpr short kReadable = POLLIN | POLLRDNORM | POLLRDBAND | POLLHUP | POLLERR;

} // namespace

TIdStackSocketHandle TIdSocketListPosix::GetItem(int AIndex) const
{
    std::lock_guard<std::mutex> lock(FLock);
    if (AIndex < 0 || AIndex >= FCount)
        throw EListError(Format(u"List index out of bounds (%d)", {std::int64_t(AIndex)}));
    return FHandles[static_cast<std::size_t>(AIndex)];
}

void TIdSocketListPosix::Add(TIdStackSocketHandle AHandle)
{
    std::lock_guard<std::mutex> lock(FLock);
    if (Contains(AHandle))
        return;
    if (FCount >= MaxHandles)
        EIdException::Toss<EIdStackSetSizeExceeded>(u"Set Size Exceeded.");
    FHandles[static_cast<std::size_t>(FCount++)] = AHandle;
}

std::unique_ptr<TIdSocketList> TIdSocketListPosix::Clone() const
{
    auto copy = std::make_unique<TIdSocketListPosix>();
    std::lock_guard<std::mutex> lock(FLock);
    copy->FHandles = FHandles;
    copy->FCount = FCount;
    return copy;
}

int TIdSocketListPosix::Count() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FCount;
}

void TIdSocketListPosix::Remove(TIdStackSocketHandle AHandle)
{
    std::lock_guard<std::mutex> lock(FLock);
    const auto end = FHandles.begin() + FCount;
    const auto found = std::find(FHandles.begin(), end, AHandle);
    if (found == end)
        return;
    std::copy(found + 1, end, found);
    --FCount;
}

void TIdSocketListPosix::Clear()
{
    std::lock_guard<std::mutex> lock(FLock);
    FCount = 0;
}

bool TIdSocketListPosix::ContainsSocket(TIdStackSocketHandle AHandle) const
{
    std::lock_guard<std::mutex> lock(FLock);
    return Contains(AHandle);
}

bool TIdSocketListPosix::Contains(TIdStackSocketHandle AHandle) const
{
    const auto end = FHandles.begin() + FCount;
    return std::find(FHandles.begin(), end, AHandle) != end;
}

bool TIdSocketListPosix::SelectRead(int ATimeout)
{
    std::array<pollfd, MaxHandles> entries{};
    nfds_t count = 0;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (; count < static_cast<nfds_t>(FCount); ++count)
            entries[count] = pollfd{FHandles[count], POLLIN, 0};
    }
    TIdStack& stack = GStack();
    const bool unlimited = ATimeout == IdWaitWithoutLimit;
    if (count == 0 || (ATimeout < 0 && !unlimited))
        stack.RaiseSocketError(Id_WSAEINVAL);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : ATimeout);
    int wait = unlimited ? -1 : ATimeout;
    int result;
    // A signal ends poll() early; wait again for what is left of the time.
    while ((result = ::poll(entries.data(), count, wait)) == -1 && errno == EINTR) {
        if (!unlimited) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
    }
    // select() refuses a set with a closed descriptor in it; poll() only marks it.
    const auto closed = [](const pollfd& entry) { return (entry.revents & POLLNVAL) != 0; };
    if (result > 0 && std::any_of(entries.begin(), entries.begin() + count, closed)) {
        errno = EBADF;
        result = -1;
    }
    stack.CheckForSocketError(result);
    const auto readable = [](const pollfd& entry) { return (entry.revents & kReadable) != 0; };
    return std::any_of(entries.begin(), entries.begin() + count, readable);
}
