// A fast SMTP sink over implicit TLS for the send benchmarks, on OpenSSL directly
// (only this program links it; the product binds the library at run time).
//
//   bench_SmtpSink serve --cert PEM --key PEM [--threads] [--log FILE]
//       Listens on 127.0.0.1 on a free port and prints the port on the first line of
//       standard output. Offers PIPELINING and AUTH LOGIN PLAIN, accepts any login,
//       takes MAIL, RCPT and DATA, throws the message away and answers 250; any number
//       of connections one after the other (with --threads, one thread each) until it
//       is killed. With --log, one line per connection: messages, data bytes, wall and
//       CPU seconds of the thread that served it.
//
//   bench_SmtpSink check --cert PEM --key PEM [--mib N] [--runs R]
//       Shows that the sink is not what limits a send: N MiB (default 256) pushed
//       through TLS on loopback into a bare SSL_read loop, and the same bytes as an
//       SMTP DATA into the sink's own connection code, medians of R runs (default 3).
//
// DATA is read in 256 KiB SSL_reads into one reusable buffer, filled further from what
// TLS already holds, and only scanned for the terminating CRLF.CRLF (also across two
// reads); nothing is copied or kept.

#include "Loopback.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kReadSize = 256 * 1024;
// Room for a chunk plus what is left of a command line from the previous read.
constexpr std::size_t kBufferSize = 2 * kReadSize;
constexpr std::size_t kMaxLine = 64 * 1024;
// One TLS record holds at most 16 KiB of data.
constexpr std::size_t kRecordSize = 16 * 1024;
constexpr std::string_view kTerminator = "\r\n.\r\n";

struct TSslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using TSslPtr = std::unique_ptr<SSL, TSslFree>;
using TSslContextPtr = std::unique_ptr<SSL_CTX, TSslFree>;

[[noreturn]] void Fail(const std::string& what)
{
    const unsigned long code = ERR_get_error();
    std::string detail = code != 0 ? ERR_error_string(code, nullptr) : std::strerror(errno);
    throw std::runtime_error(what + ": " + detail);
}

class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd()
    {
        if (FFd != -1)
            ::close(FFd);
    }
    int Get() const { return FFd; }

private:
    int FFd;
};

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TSslContextPtr MakeServerContext(const std::string& certFile, const std::string& keyFile)
{
    TSslContextPtr context(SSL_CTX_new(TLS_server_method()));
    if (!context)
        Fail("SSL_CTX_new");
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context.get(), certFile.c_str()) != 1)
        Fail("certificate " + certFile);
    if (SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        Fail("key " + keyFile);
    // Take from the socket whatever has arrived, in large reads, not record by record.
    SSL_CTX_set_read_ahead(context.get(), 1);
    SSL_CTX_set_default_read_buffer_len(context.get(), kReadSize);
    return context;
}

TSslContextPtr MakeClientContext()
{
    TSslContextPtr context(SSL_CTX_new(TLS_client_method()));
    if (!context)
        Fail("SSL_CTX_new");
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    return context;
}

bool WriteAll(SSL* ssl, std::string_view data)
{
    while (!data.empty()) {
        const int n = SSL_write(ssl, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 1 << 30)));
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Finds CRLF.CRLF in a stream that arrives in pieces. The line before the data (the
// DATA command) ended with CRLF, so an empty message is just ".\r\n".
class TTerminatorScanner {
public:
    void Reset()
    {
        std::memcpy(FTail, "\r\n", 2);
        FTailLength = 2;
    }

    // The offset just past the terminator in `data`, or npos when it is not there yet.
    std::size_t Scan(const char* data, std::size_t size)
    {
        // A terminator that begins in an earlier piece ends within this one's first bytes.
        char joint[8];
        const std::size_t head = std::min<std::size_t>(size, kTerminator.size() - 1);
        std::memcpy(joint, FTail, FTailLength);
        std::memcpy(joint + FTailLength, data, head);
        if (const void* found = ::memmem(joint, FTailLength + head, kTerminator.data(), kTerminator.size()))
            return static_cast<std::size_t>(static_cast<const char*>(found) - joint) + kTerminator.size() - FTailLength;
        // memchr for the full stop runs at memory speed; memmem would cost a tenth of
        // the transfer. Base64 lines hold no full stop at all.
        const char* const end = data + size;
        for (auto* dot = static_cast<const char*>(std::memchr(data, '.', size)); dot != nullptr;
             dot = static_cast<const char*>(std::memchr(dot + 1, '.', static_cast<std::size_t>(end - dot - 1)))) {
            if (dot - data >= 2 && end - dot >= 3 && std::memcmp(dot - 2, kTerminator.data(), kTerminator.size()) == 0)
                return static_cast<std::size_t>(dot - data) + 3;
        }
        // Keep the last four bytes seen.
        const std::size_t total = FTailLength + head;
        if (size >= kTerminator.size() - 1) {
            std::memcpy(FTail, data + size - (kTerminator.size() - 1), kTerminator.size() - 1);
            FTailLength = kTerminator.size() - 1;
        } else {
            const std::size_t keep = std::min(total, kTerminator.size() - 1);
            std::memmove(FTail, joint + total - keep, keep);
            FTailLength = keep;
        }
        return std::string_view::npos;
    }

private:
    char FTail[kTerminator.size() - 1] = {};
    std::size_t FTailLength = 0;
};

struct TSessionStats {
    int Messages = 0;
    std::int64_t DataBytes = 0;
    double WallSeconds = 0;
    double CpuSeconds = 0;
};

// One SMTP session on an accepted TLS connection.
class TSession {
public:
    explicit TSession(SSL* ssl) : FSsl(ssl), FBuffer(kBufferSize) {}

    TSessionStats Run()
    {
        const auto start = Clock::now();
        const double cpuStart = ThreadCpuSeconds();
        FReplies = "220 127.0.0.1 ESMTP bench sink\r\n";
        while (!FQuit) {
            if (!Flush() || !Fill())
                break;
            if (FInData)
                ConsumeData();
            if (!FInData)
                ConsumeCommands();
        }
        Flush();
        FStats.WallSeconds = Since(start);
        FStats.CpuSeconds = ThreadCpuSeconds() - cpuStart;
        return FStats;
    }

private:
    enum class TAuthStep { None, LoginUser, LoginPassword, PlainResponse };

    bool Flush()
    {
        const bool written = WriteAll(FSsl, FReplies);
        FReplies.clear();
        return written;
    }

    // Reads at least once; with DATA flowing, the buffer is empty and the read asks for
    // the whole 256 KiB, topped up from records TLS has already received.
    bool Fill()
    {
        if (FBegin == FEnd) {
            FBegin = FEnd = 0;
        } else if (FBegin > 0) {
            std::memmove(FBuffer.data(), FBuffer.data() + FBegin, FEnd - FBegin);
            FEnd -= FBegin;
            FBegin = 0;
        }
        const int n = SSL_read(FSsl, FBuffer.data() + FEnd, static_cast<int>(std::min(kReadSize, FBuffer.size() - FEnd)));
        if (n <= 0)
            return false;
        FEnd += static_cast<std::size_t>(n);
        while (FBuffer.size() - FEnd >= kRecordSize && SSL_has_pending(FSsl) == 1) {
            const int more = SSL_read(FSsl, FBuffer.data() + FEnd, static_cast<int>(FBuffer.size() - FEnd));
            if (more <= 0)
                break;
            FEnd += static_cast<std::size_t>(more);
        }
        return true;
    }

    void ConsumeData()
    {
        const std::size_t size = FEnd - FBegin;
        const std::size_t end = FScanner.Scan(FBuffer.data() + FBegin, size);
        if (end == std::string_view::npos) {
            FMessageBytes += static_cast<std::int64_t>(size);
            FBegin = FEnd;
            return;
        }
        FMessageBytes += static_cast<std::int64_t>(end);
        FBegin += end;
        FInData = false;
        ++FStats.Messages;
        // The terminator's ".\r\n" is no data; its leading CRLF ends the last line.
        FStats.DataBytes += std::max<std::int64_t>(0, FMessageBytes - 3);
        FReplies += "250 2.0.0 Ok: queued\r\n";
        ResetTransaction();
    }

    void ConsumeCommands()
    {
        while (!FInData && !FQuit) {
            const char* begin = FBuffer.data() + FBegin;
            const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', FEnd - FBegin));
            if (newline == nullptr) {
                if (FEnd - FBegin > kMaxLine) {
                    FReplies += "500 5.5.2 Line too long\r\n";
                    FQuit = true;
                }
                return;
            }
            std::string_view line(begin, static_cast<std::size_t>(newline - begin));
            FBegin += line.size() + 1;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            Command(line);
            if (FInData && FBegin < FEnd)
                ConsumeData();
        }
    }

    static bool IsVerb(std::string_view line, std::string_view verb)
    {
        if (line.size() < verb.size() || (line.size() > verb.size() && line[verb.size()] != ' '))
            return false;
        for (std::size_t i = 0; i < verb.size(); ++i)
            if ((line[i] & ~0x20) != verb[i])
                return false;
        return true;
    }

    void Command(std::string_view line)
    {
        if (FAuthStep != TAuthStep::None) {
            Authenticate(line);
            return;
        }
        if (IsVerb(line, "EHLO")) {
            ResetTransaction();
            FReplies += "250-127.0.0.1 greets you\r\n250-PIPELINING\r\n250-AUTH LOGIN PLAIN\r\n250-8BITMIME\r\n"
                        "250 SIZE 0\r\n";
        } else if (IsVerb(line, "HELO")) {
            ResetTransaction();
            FReplies += "250 127.0.0.1\r\n";
        } else if (IsVerb(line, "AUTH")) {
            StartAuthentication(line.size() > 5 ? line.substr(5) : std::string_view());
        } else if (IsVerb(line, "MAIL")) {
            FHasSender = true;
            FReplies += "250 2.1.0 Ok\r\n";
        } else if (IsVerb(line, "RCPT")) {
            if (FHasSender) {
                ++FRecipients;
                FReplies += "250 2.1.5 Ok\r\n";
            } else {
                FReplies += "503 5.5.1 MAIL first\r\n";
            }
        } else if (IsVerb(line, "DATA")) {
            if (FRecipients == 0) {
                FReplies += "503 5.5.1 RCPT first\r\n";
            } else {
                FReplies += "354 End data with <CR><LF>.<CR><LF>\r\n";
                FInData = true;
                FMessageBytes = 0;
                FScanner.Reset();
            }
        } else if (IsVerb(line, "RSET")) {
            ResetTransaction();
            FReplies += "250 2.0.0 Ok\r\n";
        } else if (IsVerb(line, "NOOP")) {
            FReplies += "250 2.0.0 Ok\r\n";
        } else if (IsVerb(line, "QUIT")) {
            FReplies += "221 2.0.0 Bye\r\n";
            FQuit = true;
        } else {
            FReplies += "500 5.5.2 Command not recognised\r\n";
        }
    }

    void StartAuthentication(std::string_view arguments)
    {
        const std::size_t blank = arguments.find(' ');
        const std::string_view mechanism = arguments.substr(0, blank);
        const bool hasInitial = blank != std::string_view::npos;
        if (IsVerb(mechanism, "LOGIN")) {
            FAuthStep = hasInitial ? TAuthStep::LoginPassword : TAuthStep::LoginUser;
            FReplies += hasInitial ? "334 UGFzc3dvcmQ6\r\n" : "334 VXNlcm5hbWU6\r\n";
        } else if (IsVerb(mechanism, "PLAIN")) {
            if (hasInitial) {
                FReplies += "235 2.7.0 Authentication successful\r\n";
            } else {
                FAuthStep = TAuthStep::PlainResponse;
                FReplies += "334 \r\n";
            }
        } else {
            FReplies += "504 5.5.4 Mechanism not supported\r\n";
        }
    }

    void Authenticate(std::string_view line)
    {
        if (line == "*") {
            FAuthStep = TAuthStep::None;
            FReplies += "501 5.7.0 Authentication cancelled\r\n";
        } else if (FAuthStep == TAuthStep::LoginUser) {
            FAuthStep = TAuthStep::LoginPassword;
            FReplies += "334 UGFzc3dvcmQ6\r\n";
        } else {
            FAuthStep = TAuthStep::None;
            FReplies += "235 2.7.0 Authentication successful\r\n";
        }
    }

    void ResetTransaction()
    {
        FHasSender = false;
        FRecipients = 0;
    }

    SSL* FSsl;
    std::vector<char> FBuffer;
    std::size_t FBegin = 0;
    std::size_t FEnd = 0;
    std::string FReplies;
    bool FQuit = false;
    bool FInData = false;
    bool FHasSender = false;
    int FRecipients = 0;
    TAuthStep FAuthStep = TAuthStep::None;
    TTerminatorScanner FScanner;
    std::int64_t FMessageBytes = 0;
    TSessionStats FStats;
};

// Handshake, session, closing alert; the socket is closed by the caller.
TSessionStats Serve(SSL_CTX* context, int fd)
{
    // The session tickets and the greeting are two writes in a row: with Nagle's rule
    // the greeting would wait for the client's delayed acknowledgement (40 ms).
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    TSslPtr ssl(SSL_new(context));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1 || SSL_accept(ssl.get()) != 1) {
        ERR_clear_error();
        return {};
    }
    TSession session(ssl.get());
    const TSessionStats stats = session.Run();
    SSL_shutdown(ssl.get());
    ERR_clear_error();
    return stats;
}

struct TOptions {
    std::string Mode;
    std::string CertFile;
    std::string KeyFile;
    std::string LogFile;
    bool Threads = false;
    std::int64_t MiB = 256;
    int Runs = 3;
};

TOptions ParseOptions(int argc, char** argv)
{
    TOptions options;
    if (argc < 2)
        throw std::runtime_error("usage: bench_SmtpSink serve|check --cert PEM --key PEM [...]");
    options.Mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--cert")
            options.CertFile = value();
        else if (arg == "--key")
            options.KeyFile = value();
        else if (arg == "--log")
            options.LogFile = value();
        else if (arg == "--threads")
            options.Threads = true;
        else if (arg == "--mib")
            options.MiB = std::max(1LL, std::atoll(value().c_str()));
        else if (arg == "--runs")
            options.Runs = std::max(1, std::atoi(value().c_str()));
        else
            throw std::runtime_error("unknown option " + arg);
    }
    if (options.CertFile.empty() || options.KeyFile.empty())
        throw std::runtime_error("--cert and --key are required");
    return options;
}

int ServeForever(const TOptions& options)
{
    const TSslContextPtr context = MakeServerContext(options.CertFile, options.KeyFile);
    std::uint16_t port = 0;
    const TFd listener(bench::ListenOnLoopback(port, 64));
    std::printf("%u\n", port);
    std::fflush(stdout);

    std::FILE* log = options.LogFile.empty() ? nullptr : std::fopen(options.LogFile.c_str(), "a");
    std::mutex logLock;
    const auto serveAndLog = [&](int fd) {
        const TFd connection(fd);
        const TSessionStats stats = Serve(context.get(), fd);
        if (log != nullptr) {
            const std::lock_guard<std::mutex> guard(logLock);
            std::fprintf(log, "messages=%d data_bytes=%lld wall=%.6f cpu=%.6f\n", stats.Messages,
                         static_cast<long long>(stats.DataBytes), stats.WallSeconds, stats.CpuSeconds);
            std::fflush(log);
        }
    };
    for (;;) {
        const int fd = ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd == -1) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            Fail("accept");
        }
        if (options.Threads)
            std::thread(serveAndLog, fd).detach();
        else
            serveAndLog(fd);
    }
}

// --- check ----------------------------------------------------------------------

// Reads `total` bytes with plain SSL_reads into one buffer, then answers one line.
TSessionStats RawTlsReader(SSL_CTX* context, int listener, std::int64_t total)
{
    const TFd fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    TSslPtr ssl(SSL_new(context));
    SSL_set_fd(ssl.get(), fd.Get());
    if (SSL_accept(ssl.get()) != 1)
        return {};
    std::vector<char> buffer(kReadSize);
    std::int64_t received = 0;
    while (received < total) {
        const int n = SSL_read(ssl.get(), buffer.data(), static_cast<int>(buffer.size()));
        if (n <= 0)
            break;
        received += n;
    }
    WriteAll(ssl.get(), received == total ? "done\r\n" : "short\r\n");
    SSL_shutdown(ssl.get());
    return {1, received, Since(start), ThreadCpuSeconds() - cpuStart};
}

// The client side of the check: a TLS connection that sends in 256 KiB writes.
class TBlastClient {
public:
    TBlastClient(SSL_CTX* context, std::uint16_t port)
        : FFd(bench::ConnectToLoopback(port, true)), FSsl(SSL_new(context))
    {
        SSL_set_fd(FSsl.get(), FFd.Get());
        if (SSL_connect(FSsl.get()) != 1)
            Fail("handshake");
    }
    ~TBlastClient() { SSL_shutdown(FSsl.get()); }

    void Send(std::string_view data)
    {
        if (!WriteAll(FSsl.get(), data))
            Fail("SSL_write");
    }

    // Sends `total` bytes of `block`, repeated, in writes of the block's size.
    void SendRepeated(std::string_view block, std::int64_t total)
    {
        for (std::int64_t left = total; left > 0; left -= static_cast<std::int64_t>(block.size()))
            Send(block.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(left, std::ssize(block)))));
    }

    // The last line of the next reply (multi-line replies read to their end).
    std::string Reply()
    {
        std::string line;
        for (;;) {
            char c = 0;
            if (SSL_read(FSsl.get(), &c, 1) != 1)
                Fail("reply");
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line.size() >= 4 && line[3] == '-') {
                line.clear();
                continue;
            }
            return line;
        }
    }

    void Expect(std::string_view command, char code)
    {
        if (!command.empty())
            Send(command);
        const std::string reply = Reply();
        if (reply.empty() || reply[0] != code)
            throw std::runtime_error("unexpected reply: " + reply);
    }

private:
    TFd FFd;
    TSslPtr FSsl;
};

// 76 base64-like characters and CRLF per line, about 256 KiB of them per write.
constexpr std::int64_t kLineSize = 78;

std::string MessageBlock()
{
    std::string block;
    while (block.size() + kLineSize <= kReadSize)
        block += std::string(kLineSize - 2, 'Q') + "\r\n";
    return block;
}

// Seconds from the first byte sent to the receiver's answer; the receiver's own
// figures in `stats`.
double RawTlsSeconds(SSL_CTX* server, SSL_CTX* client, std::int64_t total, TSessionStats& stats)
{
    std::uint16_t port = 0;
    const TFd listener(bench::ListenOnLoopback(port, 64));
    std::thread reader([&] { stats = RawTlsReader(server, listener.Get(), total); });
    double seconds = 0;
    {
        TBlastClient blast(client, port);
        const auto start = Clock::now();
        blast.SendRepeated(MessageBlock(), total);
        if (blast.Reply() != "done\r")
            throw std::runtime_error("raw TLS reader got less than was sent");
        seconds = Since(start);
    }
    reader.join();
    return seconds;
}

double SinkSeconds(SSL_CTX* server, SSL_CTX* client, std::int64_t total, TSessionStats& stats)
{
    std::uint16_t port = 0;
    const TFd listener(bench::ListenOnLoopback(port, 64));
    std::thread sink([&] {
        const TFd fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        stats = Serve(server, fd.Get());
    });
    double seconds = 0;
    {
        TBlastClient blast(client, port);
        blast.Expect("", '2');
        blast.Expect("EHLO bench\r\n", '2');
        blast.Expect("AUTH PLAIN AGJlbmNoAGJlbmNo\r\n", '2');
        blast.Expect("MAIL FROM:<bench@localhost>\r\n", '2');
        blast.Expect("RCPT TO:<sink@localhost>\r\n", '2');
        blast.Expect("DATA\r\n", '3');
        const auto start = Clock::now();
        blast.SendRepeated(MessageBlock(), total);
        blast.Expect(".\r\n", '2');
        seconds = Since(start);
        blast.Expect("QUIT\r\n", '2');
    }
    sink.join();
    return seconds;
}

struct TSpread {
    double Median;
    double Min;
    double Max;
};

TSpread Spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

int Check(const TOptions& options)
{
    const TSslContextPtr server = MakeServerContext(options.CertFile, options.KeyFile);
    const TSslContextPtr client = MakeClientContext();
    // Whole lines, so that the terminator follows a line end.
    const std::int64_t total = (options.MiB << 20) / kLineSize * kLineSize;
    const double mib = static_cast<double>(total) / (1 << 20);
    std::vector<double> raw, rawCpu, sink, sinkCpu, sinkShare;
    // Alternating which goes first (ABBA), so that neither always meets the other's leftovers.
    for (int run = 0; run < 2 * options.Runs; ++run) {
        TSessionStats stats;
        if ((run + run / 2) % 2 == 0) {
            raw.push_back(mib / RawTlsSeconds(server.get(), client.get(), total, stats));
            rawCpu.push_back(stats.CpuSeconds);
            continue;
        }
        sink.push_back(mib / SinkSeconds(server.get(), client.get(), total, stats));
        if (stats.DataBytes != total)
            throw std::runtime_error("the sink counted " + std::to_string(stats.DataBytes) + " data bytes of "
                                     + std::to_string(total));
        sinkCpu.push_back(stats.CpuSeconds);
        sinkShare.push_back(stats.CpuSeconds / stats.WallSeconds);
    }
    // "name median min max", one figure a line, for scripts/bench.
    const auto print = [](const char* name, const std::vector<double>& values) {
        const TSpread spread = Spread(values);
        std::printf("%s %.3f %.3f %.3f\n", name, spread.Median, spread.Min, spread.Max);
    };
    print("raw_tls_mib_s", raw);
    print("sink_mib_s", sink);
    print("raw_reader_cpu_s", rawCpu);
    print("sink_cpu_s", sinkCpu);
    print("sink_cpu_share", sinkShare);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const TOptions options = ParseOptions(argc, argv);
        if (options.Mode == "serve")
            return ServeForever(options);
        if (options.Mode == "check")
            return Check(options);
        throw std::runtime_error("mode must be serve or check");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_SmtpSink: %s\n", error.what());
        return 1;
    }
}
