#pragma once
// A TLS server on a free port of 127.0.0.1 (tests/support/tls_test_server.py), for
// handshake tests. After the handshake it sends "sni=<name or -> version=<protocol>"
// and a line, echoes the client's first line as "echo <line>" and closes with a
// closing alert. It serves connection after connection until the object goes.

#include "support/TestChildProcess.h"

#include <cstdint>
#include <string>

class TTlsTestServer {
public:
    struct TOptions {
        std::string CertFile;
        std::string KeyFile;
        bool Tls13Only = false;
    };
    explicit TTlsTestServer(const TOptions& options);

    std::uint16_t Port() const { return FPort; }

private:
    TTestChildProcess FProcess;
    std::uint16_t FPort = 0;
};
