#include "platform/ProcessOutputPosix.h"

#include "platform/ChildWatch.h"

#include <cerrno>
#include <poll.h>

namespace orvant::platform {

namespace {

// As much as a pipe holds by default: one read takes all a writer could leave.
constexpr std::size_t kReadSize = 64 * 1024;

} // namespace

TOutputPump::TOutputPump() : FBuffer(kReadSize)
{
}

void TOutputPump::Add(TFileDescriptor readEnd, TConsumer consumer)
{
    FStreams.push_back({std::move(readEnd), std::move(consumer)});
}

void TOutputPump::PumpOnce(std::chrono::steady_clock::time_point until, int wakeFd)
{
    std::vector<pollfd> polled;
    for (const TStream& stream : FStreams)
        polled.push_back({stream.ReadEnd.Get(), POLLIN, 0});
    polled.push_back({wakeFd, POLLIN, 0}); // a negative descriptor is skipped by poll
    if (::poll(polled.data(), polled.size(), PollTimeout(until)) < 0) {
        if (errno != EINTR)
            FStreams.clear(); // cannot wait on them any more: stop reading
        return;
    }
    for (std::size_t i = FStreams.size(); i-- > 0;) {
        if (polled[i].revents != 0 && !ReadFrom(FStreams[i]))
            FStreams.erase(FStreams.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

bool TOutputPump::ReadFrom(TStream& stream)
{
    const ssize_t n = ::read(stream.ReadEnd.Get(), FBuffer.data(), FBuffer.size());
    if (n > 0)
        stream.Consumer(std::string_view(FBuffer.data(), static_cast<std::size_t>(n)));
    return n > 0 || (n < 0 && errno == EINTR);
}

} // namespace orvant::platform
