#include "support/TlsTestServer.h"

#include <stdexcept>
#include <vector>

namespace {

std::vector<std::string> CommandLine(const TTlsTestServer::TOptions& options)
{
    std::vector<std::string> argv{"python3", ORVANT_SOURCE_DIR "/tests/support/tls_test_server.py",
                                  "--cert", options.CertFile, "--key", options.KeyFile};
    if (options.Tls13Only)
        argv.push_back("--tls13-only");
    return argv;
}

} // namespace

TTlsTestServer::TTlsTestServer(const TOptions& options)
    : FProcess(CommandLine(options))
{
    // The server prints its port once it listens, so connecting after this succeeds.
    const std::string line = FProcess.ReadLine();
    const int port = line.empty() ? 0 : std::stoi(line);
    if (port <= 0 || port > 65535)
        throw std::runtime_error("the TLS test server did not start");
    FPort = static_cast<std::uint16_t>(port);
}
