#include "support/ScriptedServer.h"

#include "support/TestSockets.h"

#include <stdexcept>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + testsockets::ErrorText(testsockets::LastError()));
}

} // namespace

ScriptedServer::ScriptedServer(bool ipv6)
    : FIPv6(ipv6)
    , FListener(testsockets::NewSocket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM))
    , FStopEvent(testsockets::NewWakeEvent())
{
    if (FListener.Get() == -1)
        Fail("socket");
    if (FStopEvent.Get() == -1)
        Fail("eventfd");
    sockaddr_storage storage{};
    socklen_t length;
    if (ipv6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_loopback;
        length = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(storage);
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof in;
    }
    auto* address = reinterpret_cast<sockaddr*>(&storage);
    if (::bind(FListener.Get(), address, length) != 0 || ::getsockname(FListener.Get(), address, &length) != 0)
        Fail("bind");
    FPort = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                       : reinterpret_cast<sockaddr_in&>(storage).sin_port);
    if (::listen(FListener.Get(), 8) != 0)
        Fail("listen");
}

ScriptedServer::~ScriptedServer()
{
    testsockets::SignalWakeEvent(FStopEvent.Get());
    if (FThread.joinable())
        FThread.join();
}

ScriptedServer& ScriptedServer::Add(TStep step)
{
    if (FThread.joinable())
        throw std::logic_error("ScriptedServer: the script is written before Start");
    FSteps.push_back(std::move(step));
    return *this;
}

ScriptedServer& ScriptedServer::Send(std::string bytes)
{
    return Add({TStep::Kind::Send, std::move(bytes), {}});
}

ScriptedServer& ScriptedServer::ReadLine()
{
    return Add({TStep::Kind::ReadLine, {}, {}});
}

ScriptedServer& ScriptedServer::Reply(std::string bytes)
{
    ReadLine();
    return Send(std::move(bytes));
}

ScriptedServer& ScriptedServer::Pause(std::chrono::milliseconds time)
{
    return Add({TStep::Kind::Pause, {}, time});
}

ScriptedServer& ScriptedServer::Stall()
{
    return Add({TStep::Kind::Stall, {}, {}});
}

ScriptedServer& ScriptedServer::Close()
{
    return Add({TStep::Kind::Close, {}, {}});
}

ScriptedServer& ScriptedServer::Reset()
{
    return Add({TStep::Kind::Reset, {}, {}});
}

ScriptedServer& ScriptedServer::Accept()
{
    return Add({TStep::Kind::Accept, {}, {}});
}

void ScriptedServer::Start()
{
    FSteps.insert(FSteps.begin(), TStep{TStep::Kind::Accept, {}, {}});
    FThread = std::thread([this] { Run(); });
}

bool ScriptedServer::WaitDone(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(FLock);
    return FDoneSignal.wait_for(lock, timeout, [this] { return FDone; });
}

std::vector<std::string> ScriptedServer::Lines() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FLines;
}

std::string ScriptedServer::Received() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FReceived;
}

int ScriptedServer::Connections() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FConnections;
}

std::string ScriptedServer::Error() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FError;
}

void ScriptedServer::Run()
{
    std::string error;
    try {
        for (const TStep& step : FSteps)
            Play(step);
    } catch (const TStopped&) {
        error = "stopped before the end of the script";
    } catch (const std::exception& e) {
        error = e.what();
    }
    {
        std::lock_guard<std::mutex> lock(FLock);
        FError = error;
        FDone = true;
    }
    FDoneSignal.notify_all();
}

void ScriptedServer::Play(const TStep& step)
{
    switch (step.kind) {
    case TStep::Kind::Send:
        SendAll(step.bytes);
        return;
    case TStep::Kind::ReadLine: {
        std::size_t end;
        while ((end = FPending.find('\n')) == std::string::npos) {
            if (ReceiveSome() == 0)
                throw std::runtime_error("the client closed before a line was complete");
        }
        std::string line = FPending.substr(0, end);
        FPending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::lock_guard<std::mutex> lock(FLock);
        FLines.push_back(std::move(line));
        return;
    }
    case TStep::Kind::Pause:
        WaitFor(-1, 0, static_cast<int>(step.time.count()));
        return;
    case TStep::Kind::Stall:
        while (ReceiveSome() > 0) {
        }
        return;
    case TStep::Kind::Close:
        FConnection.Reset();
        return;
    case TStep::Kind::Reset:
        CloseWithReset(FConnection);
        return;
    case TStep::Kind::Accept: {
        FConnection.Reset();
        FPending.clear();
        WaitFor(FListener.Get(), POLLIN, -1);
        FConnection = ScopedFd(testsockets::AcceptOn(FListener.Get()));
        if (FConnection.Get() == -1)
            Fail("accept");
        std::lock_guard<std::mutex> lock(FLock);
        ++FConnections;
        return;
    }
    }
}

bool ScriptedServer::WaitFor(int fd, short events, int timeoutMs)
{
    pollfd entries[2] = {testsockets::PollEntry(FStopEvent.Get(), POLLIN), testsockets::PollEntry(fd, events)};
    const testsockets::TPollCount count = fd == -1 ? 1 : 2;
    int result;
    while ((result = testsockets::Poll(entries, count, timeoutMs)) == -1
           && testsockets::Interrupted(testsockets::LastError())) {
    }
    if (result == -1)
        Fail("poll");
    if (entries[0].revents != 0)
        throw TStopped{};
    return count == 2 && entries[1].revents != 0;
}

std::size_t ScriptedServer::ReceiveSome()
{
    WaitFor(FConnection.Get(), POLLIN, -1);
    char buffer[4096];
    const auto n = ::recv(FConnection.Get(), buffer, sizeof buffer, 0);
    if (n <= 0)
        return 0; // closed, or reset by the client
    FPending.append(buffer, static_cast<std::size_t>(n));
    std::lock_guard<std::mutex> lock(FLock);
    FReceived.append(buffer, static_cast<std::size_t>(n));
    return static_cast<std::size_t>(n);
}

void ScriptedServer::SendAll(const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        WaitFor(FConnection.Get(), POLLOUT, -1);
        const auto n = ::send(FConnection.Get(), bytes.data() + done, static_cast<int>(bytes.size() - done),
                              testsockets::kNoSignal | testsockets::kDontWait);
        if (n < 0) {
            const int error = testsockets::LastError();
            if (testsockets::WouldBlock(error) || testsockets::Interrupted(error))
                continue;
        }
        if (n <= 0)
            Fail("send");
        done += static_cast<std::size_t>(n);
    }
}
