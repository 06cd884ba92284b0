// 256 MiB sent over TLS on loopback to a server that reads everything and then
// answers one line: through TIdSSLIOHandlerSocketOpenSSL (with the message writer's
// write buffering, flushed every 8192 bytes, and with plain 64 KiB writes) and, in the
// same run, through a plain OpenSSL loop (SSL_write on a socket) with the same write
// sizes, so the handler's own cost shows beside the library's.
//
//   bench_TlsTransfer [total MiB] [runs]      (defaults: 256, 3; the median run counts)
//
// The server runs on its own thread with the same library; the certificate is made
// with the openssl command in a temporary folder. Both sides negotiate what the
// program negotiates (TLS 1.3 here).

#include "net/IdSSLIOHandlerSocketOpenSSL.h"
#include "platform/TempFile.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void Run(std::vector<std::string> argv)
{
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    // The key generation's progress marks would land in the middle of the table.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = 0;
    const bool started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("failed: " + argv[0] + " " + argv[1]);
}

// A self-signed certificate for localhost in a temporary folder, gone with the object.
struct TCertificate {
    TCertificate()
    {
        Folder = orvant::platform::CreateTempFolder("orvant-bench-");
        if (Folder.empty())
            Fail("mkdtemp");
        Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", Folder + "/key.pem", "-out", Folder + "/cert.pem", "-days", "1", "-subj", "/CN=localhost"});
    }
    ~TCertificate()
    {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    std::string Folder;
};

// Accepts one connection, reads `total` bytes through TLS, answers "done" and closes.
class TlsSink {
public:
    TlsSink(const TCertificate& certificate, std::int64_t total)
        : FTotal(total)
    {
        FContext.SetMode(TIdSSLMode::sslmServer);
        FContext.SetMethod(TIdSSLVersion::sslvSSLv23);
        FContext.SetSSLVersions(AllSSLVersions);
        FContext.SetCertFile(FromUtf8(certificate.Folder + "/cert.pem"));
        FContext.SetKeyFile(FromUtf8(certificate.Folder + "/key.pem"));
        FContext.BuildContext(TIdSSLCtxMode::sslCtxServer);

        FListener = bench::ListenOnLoopback(FPort, 1);
        FThread = std::thread([this] { Serve(); });
    }
    ~TlsSink()
    {
        FThread.join();
        ::close(FListener);
    }
    std::uint16_t Port() const { return FPort; }

private:
    void Serve()
    {
        const int fd = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd == -1)
            return;
        TIdSSLPtr ssl(GOpenSSL.SSL_new(FContext.Context()));
        GOpenSSL.SSL_set_fd(ssl.get(), fd);
        if (GOpenSSL.SSL_accept(ssl.get()) == 1) {
            std::vector<char> buffer(1 << 18);
            std::int64_t received = 0;
            while (received < FTotal) {
                const int n = GOpenSSL.SSL_read(ssl.get(), buffer.data(), static_cast<int>(buffer.size()));
                if (n <= 0)
                    break;
                received += n;
            }
            const std::string answer = received == FTotal ? "done\r\n" : "short\r\n";
            GOpenSSL.SSL_write(ssl.get(), answer.data(), static_cast<int>(answer.size()));
            GOpenSSL.SSL_shutdown(ssl.get());
        }
        ssl.reset();
        ::close(fd);
    }

    std::int64_t FTotal;
    TIdSSLContext FContext;
    int FListener = -1;
    std::uint16_t FPort = 0;
    std::thread FThread;
};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The handler as the mail dispatch sets it up. With a threshold, writes are buffered
// and flushed in pieces of that size, as the message writer sends an attachment.
double ThroughHandler(const TCertificate& certificate, std::int64_t total, std::size_t chunk,
                      std::int32_t threshold)
{
    TlsSink sink(certificate, total);
    auto io = MakeComponent<TIdSSLIOHandlerSocketOpenSSL>();
    io->SSLOptions().SetMethod(TIdSSLVersion::sslvSSLv23);
    io->SSLOptions().SetMode(TIdSSLMode::sslmClient);
    io->SetHost(u"127.0.0.1");
    io->SetPort(sink.Port());
    io->Open();
    const TIdBytes out(chunk, 'x');
    const auto start = Clock::now();
    if (threshold > 0)
        io->WriteBufferOpen(threshold);
    for (std::int64_t done = 0; done < total; done += static_cast<std::int64_t>(chunk))
        io->Write(out);
    if (threshold > 0)
        io->WriteBufferClose();
    if (io->ReadLn() != u"done")
        throw std::runtime_error("the sink did not get everything");
    const double seconds = Seconds(start);
    io->Close();
    return seconds;
}

// SSL_write of `chunk` bytes at a time on a plain socket, nothing else.
double ThroughLibrary(const TCertificate& certificate, std::int64_t total, std::size_t chunk)
{
    TlsSink sink(certificate, total);
    TIdSSLContext context;
    context.SetMode(TIdSSLMode::sslmClient);
    context.SetMethod(TIdSSLVersion::sslvSSLv23);
    context.SetSSLVersions(AllSSLVersions);
    context.BuildContext(TIdSSLCtxMode::sslCtxClient);
    const int fd = bench::ConnectToLoopback(sink.Port(), false);
    TIdSSLPtr ssl(GOpenSSL.SSL_new(context.Context()));
    GOpenSSL.SSL_set_fd(ssl.get(), fd);
    if (GOpenSSL.SSL_connect(ssl.get()) != 1)
        throw std::runtime_error("handshake failed");
    const std::vector<char> out(chunk, 'x');
    const auto start = Clock::now();
    for (std::int64_t done = 0; done < total; done += static_cast<std::int64_t>(chunk)) {
        if (GOpenSSL.SSL_write(ssl.get(), out.data(), static_cast<int>(chunk)) != static_cast<int>(chunk))
            throw std::runtime_error("SSL_write failed");
    }
    char answer[16] = {};
    if (GOpenSSL.SSL_read(ssl.get(), answer, sizeof answer) <= 0 || std::strncmp(answer, "done", 4) != 0)
        throw std::runtime_error("the sink did not get everything");
    const double seconds = Seconds(start);
    GOpenSSL.SSL_shutdown(ssl.get());
    ssl.reset();
    ::close(fd);
    return seconds;
}

template <class F>
double Median(int runs, F&& measure)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run)
        times.push_back(measure());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::int64_t totalMiB = argc > 1 ? std::atoll(argv[1]) : 256;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::int64_t total = totalMiB << 20;
    if (!LoadTlsLibrary()) {
        std::fprintf(stderr, "the TLS library cannot be loaded\n");
        return 1;
    }
    const TCertificate certificate;
    struct TRow {
        const char* path;
        const char* writes;
        std::function<double()> measure;
    };
    const std::vector<TRow> rows{
        {"SSL_write loop", "8 KiB", [&] { return ThroughLibrary(certificate, total, 8192); }},
        {"TIdSSLIOHandlerSocketOpenSSL", "buffered, 8 KiB flushes",
         [&] { return ThroughHandler(certificate, total, 64 << 10, 8192); }},
        {"SSL_write loop", "64 KiB", [&] { return ThroughLibrary(certificate, total, 64 << 10); }},
        {"TIdSSLIOHandlerSocketOpenSSL", "64 KiB, unbuffered", [&] { return ThroughHandler(certificate, total, 64 << 10, 0); }},
    };
    std::printf("%lld MiB over TLS on loopback (%s), median of %d runs\n", static_cast<long long>(totalMiB),
                "TLS 1.3, the negotiated cipher", runs);
    std::printf("%-30s %-26s %10s %8s\n", "path", "writes", "seconds", "MiB/s");
    for (const TRow& row : rows) {
        const double seconds = Median(runs, row.measure);
        std::printf("%-30s %-26s %10.3f %8.0f\n", row.path, row.writes, seconds,
                    static_cast<double>(totalMiB) / seconds);
    }
    UnloadTlsLibrary();
    return 0;
}
