// 256 MiB echoed over loopback: through TIdIOHandlerStack (Write, then ReadBytes of
// the same amount, chunk by chunk) and, in the same run, through a plain send/recv
// loop on a socket, so the handler's own cost shows beside the system's. A second
// table writes only, to a peer that discards, as a large attachment goes out.
//
//   bench_SocketEcho [total MiB] [chunk KiB ...]      (defaults: 256, 64 and 1024)
//
// The echo peer runs on its own thread and never stops reading while it writes, so
// chunks of any size can be in flight.

#include "net/IdIOHandlerStack.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// Accepts one connection and sends back everything it receives (or, as a sink,
// drops it) until the client closes.
class EchoPeer {
public:
    explicit EchoPeer(bool echo = true)
        : FEcho(echo)
    {
        FListener = bench::ListenOnLoopback(FPort, 1);
        FThread = std::thread([this] { Run(); });
    }
    ~EchoPeer()
    {
        FThread.join();
        ::close(FListener);
    }
    std::uint16_t Port() const { return FPort; }

private:
    void Run()
    {
        const int fd = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd == -1)
            return;
        std::vector<char> buffer(1 << 20);
        std::vector<char> pending;
        std::size_t sent = 0;
        bool open = true;
        while (open || sent < pending.size()) {
            pollfd entry{fd, static_cast<short>((open ? POLLIN : 0) | (sent < pending.size() ? POLLOUT : 0)), 0};
            if (::poll(&entry, 1, -1) < 0)
                break;
            if (entry.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
                if (n > 0) {
                    if (FEcho)
                        pending.insert(pending.end(), buffer.data(), buffer.data() + n);
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    open = false;
                }
            }
            if (sent < pending.size() && (entry.revents & POLLOUT)) {
                const ssize_t n = ::send(fd, pending.data() + sent, pending.size() - sent, MSG_NOSIGNAL);
                if (n > 0)
                    sent += static_cast<std::size_t>(n);
                else if (errno != EAGAIN && errno != EINTR)
                    break;
                if (sent == pending.size()) {
                    pending.clear();
                    sent = 0;
                }
            }
        }
        ::close(fd);
    }

    bool FEcho;
    int FListener = -1;
    std::uint16_t FPort = 0;
    std::thread FThread;
};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void SendAll(int fd, const std::vector<char>& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            Fail("send");
        sent += static_cast<std::size_t>(n);
    }
}

double PlainEcho(std::int64_t total, std::size_t chunk, bool echo)
{
    EchoPeer peer(echo);
    const int fd = bench::ConnectToLoopback(peer.Port(), false);
    std::vector<char> out(chunk, 'x');
    std::vector<char> in(chunk);
    const auto start = Clock::now();
    for (std::int64_t done = 0; done < total; done += static_cast<std::int64_t>(chunk)) {
        SendAll(fd, out);
        for (std::size_t received = 0; echo && received < chunk;) {
            const ssize_t n = ::recv(fd, in.data() + received, chunk - received, 0);
            if (n <= 0)
                Fail("recv");
            received += static_cast<std::size_t>(n);
        }
    }
    const double seconds = Seconds(start);
    ::close(fd);
    return seconds;
}

double HandlerEcho(std::int64_t total, std::size_t chunk, bool echo)
{
    EchoPeer peer(echo);
    auto io = MakeComponent<TIdIOHandlerStack>();
    io->SetHost(u"127.0.0.1");
    io->SetPort(peer.Port());
    io->Open();
    const TIdBytes out(chunk, 'x');
    TIdBytes in;
    const auto start = Clock::now();
    for (std::int64_t done = 0; done < total; done += static_cast<std::int64_t>(chunk)) {
        io->Write(out);
        if (echo)
            io->ReadBytes(in, static_cast<std::int32_t>(chunk), false);
    }
    const double seconds = Seconds(start);
    io->Close();
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const std::int64_t totalMiB = argc > 1 ? std::atoll(argv[1]) : 256;
    std::vector<std::size_t> chunksKiB;
    for (int i = 2; i < argc; ++i)
        chunksKiB.push_back(static_cast<std::size_t>(std::atoll(argv[i])));
    if (chunksKiB.empty())
        chunksKiB = {64, 1024};

    const std::int64_t total = totalMiB << 20;
    for (const bool echo : {true, false}) {
        std::printf("%lld MiB over loopback, %s\n", static_cast<long long>(totalMiB),
                    echo ? "echoed (written and read back; MiB/s each way)" : "written to a discarding peer");
        std::printf("%-10s %-22s %10s %8s\n", "chunk", "path", "seconds", "MiB/s");
        for (const std::size_t kib : chunksKiB) {
            const std::size_t chunk = kib << 10;
            const std::int64_t rounded = total / static_cast<std::int64_t>(chunk) * static_cast<std::int64_t>(chunk);
            const double plain = PlainEcho(rounded, chunk, echo);
            const double handler = HandlerEcho(rounded, chunk, echo);
            const double mib = static_cast<double>(rounded) / (1 << 20);
            std::printf("%-10s %-22s %10.3f %8.0f\n", (std::to_string(kib) + " KiB").c_str(), "send/recv", plain,
                        mib / plain);
            std::printf("%-10s %-22s %10.3f %8.0f\n", "", "TIdIOHandlerStack", handler, mib / handler);
        }
    }
    return 0;
}
