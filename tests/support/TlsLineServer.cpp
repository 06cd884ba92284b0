#include "support/TlsLineServer.h"

#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

std::vector<std::string> CommandLine(const TTlsLineServer::TOptions& options)
{
    std::vector<std::string> argv{"python3", ORVANT_SOURCE_DIR "/tests/support/tls_line_server.py",
                                  "--cert", options.CertFile, "--key", options.KeyFile, "--fault", options.Fault};
    if (options.StartTls)
        argv.push_back("--starttls");
    if (options.Inject)
        argv.push_back("--inject");
    if (options.Tls13Only)
        argv.push_back("--tls13-only");
    return argv;
}

} // namespace

TTlsLineServer::TTlsLineServer(const TOptions& options)
    : FProcess(CommandLine(options), true)
{
    // The server prints its port once it listens, so connecting after this succeeds.
    const std::string line = FProcess.ReadLineWithin(std::chrono::seconds(20)).value_or("");
    const int port = line.empty() ? 0 : std::stoi(line);
    if (port <= 0 || port > 65535)
        throw std::runtime_error("the TLS line server did not start");
    FPort = static_cast<std::uint16_t>(port);
}

TTlsLineServer::TReport TTlsLineServer::NextReport(std::chrono::milliseconds bound)
{
    const std::optional<std::string> line = FProcess.ReadLineWithin(bound);
    if (!line || line->rfind("report ", 0) != 0)
        throw std::runtime_error("no report from the TLS line server: " + line.value_or("(nothing in time)"));
    TReport report;
    std::istringstream words(line->substr(7));
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        if (name == "handshake")
            report.Handshake = value;
        else if (name == "sni")
            report.ServerName = value;
        else if (name == "version")
            report.Version = value;
        else if (name == "reused")
            report.Reused = value == "1";
        else if (name == "app")
            report.AppBytes = std::stoll(value);
    }
    return report;
}
