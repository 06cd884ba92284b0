#include "net/IdSocketListPosix.h"

#include "net/IdStackErrors.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

// What select() counts as readable: data or a pending connection, the peer's close,
// or an error waiting to be reported.
constexpr short kReadable = POLLIN | POLLRDNORM | POLLRDBAND | POLLHUP | POLLERR;

} // namespace

std::unique_ptr<TIdSocketList> TIdSocketListPosix::Clone() const
{
    auto copy = std::make_unique<TIdSocketListPosix>();
    CopyTo(*copy);
    return copy;
}

bool TIdSocketListPosix::SelectRead(int ATimeout)
{
    THandles handles;
    const nfds_t count = static_cast<nfds_t>(Snapshot(handles));
    std::array<pollfd, MaxHandles> entries{};
    for (nfds_t i = 0; i < count; ++i)
        entries[i] = pollfd{handles[i], POLLIN, 0};
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
