#pragma once
// A line server with TLS on a free port of 127.0.0.1 (tests/support/tls_line_server.py)
// for tests of the TLS I/O handler: implicit TLS or an upgrade after "STARTTLS", a
// line protocol (echo, a byte sink that answers with the CRC-32, long lines, QUIT),
// and faults at the handshake or after the greeting. After each connection it
// reports what it saw: whether the handshake succeeded, the server name and protocol
// version, session reuse and how many bytes the client sent through TLS. It serves
// every connection on a thread of its own until the object goes.

#include "support/TestChildProcess.h"

#include <chrono>
#include <cstdint>
#include <string>

class TTlsLineServer {
public:
    struct TOptions {
        std::string CertFile{};
        std::string KeyFile{};
        bool StartTls = false;
        // With StartTls: "250 injected" follows the answer to STARTTLS in plain text.
        bool Inject = false;
        bool Tls13Only = false;
        // One of the faults of tls_line_server.py, or "none".
        std::string Fault = "none";
    };
    // The report of one connection.
    struct TReport {
        std::string Handshake; // "ok", "failed" or "none"
        std::string ServerName; // "-" when none was sent
        std::string Version;
        bool Reused = false;
        std::int64_t AppBytes = 0;
    };

    explicit TTlsLineServer(const TOptions& options);

    std::uint16_t Port() const { return FPort; }
    // The report of the next connection to end, waiting at most `bound`; throws
    // std::runtime_error when none comes.
    TReport NextReport(std::chrono::milliseconds bound = std::chrono::seconds(10));

private:
    TTestChildProcess FProcess;
    std::uint16_t FPort = 0;
};
