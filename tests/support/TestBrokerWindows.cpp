#include "support/TestBroker.h"

#include "support/TestSockets.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace testbroker {

int Connect()
{
    const char* file = std::getenv("ORVANT_TEST_BROKER_FILE");
    std::ifstream in(file ? file : "");
    int port = 0;
    if (!(in >> port) || port <= 0)
        throw std::runtime_error("no test broker: ORVANT_TEST_BROKER_FILE must name the port file of "
                                 "tests/support/test_broker.py (scripts/test-windows starts it)");
    const int s = testsockets::NewSocket(AF_INET, SOCK_STREAM);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == -1 || ::connect(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = testsockets::LastError();
        if (s != -1)
            testsockets::CloseSocket(s);
        throw std::runtime_error("cannot reach the test broker: " + testsockets::ErrorText(error));
    }
    return s;
}

void SendAll(int socket, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const int n = ::send(static_cast<SOCKET>(socket), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (n <= 0)
            throw std::runtime_error("test broker: " + testsockets::ErrorText(testsockets::LastError()));
        done += static_cast<std::size_t>(n);
    }
}

std::optional<char> ReadByte(int socket, std::optional<std::chrono::steady_clock::time_point> deadline, bool& ended)
{
    ended = false;
    for (;;) {
        int waitMs = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        pollfd entry = testsockets::PollEntry(socket, POLLIN);
        const int ready = testsockets::Poll(&entry, 1, waitMs);
        if (ready == 0)
            return std::nullopt;
        char c = 0;
        const int n = ::recv(static_cast<SOCKET>(socket), &c, 1, 0);
        if (n == 1)
            return c;
        ended = true;
        return '\0';
    }
}

std::string JsonArray(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (const std::string& item : items) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        for (const char c : item) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (u < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                out += escaped;
            } else {
                out += c; // UTF-8 passes as it is
            }
        }
        out += '"';
    }
    return out + "]";
}

namespace {

std::string ReadLine(int socket)
{
    std::string line;
    bool ended = false;
    for (;;) {
        const char c = *ReadByte(socket, std::nullopt, ended);
        if (ended || c == '\n')
            return line;
        line += c;
    }
}

} // namespace

int Run(const std::vector<std::string>& argv, const std::string& input, bool mergeError, std::string& output)
{
    const int s = Connect();
    int code = -1;
    try {
        SendAll(s, std::string("RUN ") + (mergeError ? "1" : "0") + "\n" + JsonArray(argv) + "\n"
                       + std::to_string(input.size()) + "\n" + input);
        unsigned long long size = 0;
        if (std::sscanf(ReadLine(s).c_str(), "EXIT %d %llu", &code, &size) != 2)
            code = -1;
        output.clear();
        char buffer[65536];
        while (output.size() < size) {
            const int n = ::recv(static_cast<SOCKET>(s), buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            output.append(buffer, static_cast<std::size_t>(n));
        }
    } catch (...) {
        testsockets::CloseSocket(s);
        throw;
    }
    testsockets::CloseSocket(s);
    return code;
}

} // namespace testbroker
