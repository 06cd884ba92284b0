// The SMTP test server seen through its C++ class: start, port, a stored message, the
// session log, faults, and a stop that leaves nothing behind. The server's modes and
// knobs are tested in depth by tests/support/smtp_server_selftest.py.

#include "support/LoopbackPeer.h"
#include "support/SmtpTestServer.h"
#include "support/TestChildProcess.h"

#include <gtest/gtest.h>

#include "support/TestSockets.h"

#include <filesystem>
#include <optional>
#include <stdexcept>

namespace {

// A client on a plain connection: exact bytes out, lines in; reads give up after ten
// seconds so that a server fault cannot hang the test.
class TRawClient {
public:
    explicit TRawClient(std::uint16_t port) : FSocket(ConnectLoopback(port))
    {
#ifdef _WIN32
        const DWORD bound = 10000; // milliseconds
#else
        const timeval bound{10, 0};
#endif
        setsockopt(FSocket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&bound), sizeof bound);
    }

    void Send(const std::string& bytes) { WriteAll(FSocket.Get(), bytes); }

    // The next line without its line end; empty at the end of the stream.
    std::string Line()
    {
        std::string line;
        char c = 0;
        while (::recv(FSocket.Get(), &c, 1, 0) == 1 && c != '\n')
            line += c;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }

    // The last line of a (multi-line) reply.
    std::string Reply()
    {
        std::string line = Line();
        while (line.size() > 3 && line[3] == '-')
            line = Line();
        return line;
    }

    std::string Command(const std::string& line)
    {
        Send(line + "\r\n");
        return Reply();
    }

private:
    ScopedFd FSocket;
};

bool ProcessRunsWith(const std::string& argument)
{
    std::string output;
    return RunTestProgram({"pgrep", "-f", argument}, output) == 0;
}

} // namespace

TEST(SmtpTestServerTest, StoresTheMessageAsReceivedAndLogsTheDialogue)
{
    TSmtpTestServer server({.Mode = TSmtpServerMode::Plain, .User = "loja@example.com", .Password = "segredo-1"});
    ASSERT_NE(server.Port(), 0);
    TRawClient client(server.Port());
    EXPECT_EQ(client.Reply(), "220 localhost ESMTP Orvant test server");
    EXPECT_EQ(client.Command("EHLO client.test"), "250 AUTH LOGIN PLAIN");
    EXPECT_EQ(client.Command("MAIL FROM:<loja@example.com>"), "250 OK");
    EXPECT_EQ(client.Command("RCPT TO:<contador@example.com>"), "250 OK");
    EXPECT_EQ(client.Command("DATA").substr(0, 4), "354 ");
    client.Send("Subject: teste\r\n\r\n..linha com ponto\r\nfim\r\n.\r\n");
    EXPECT_EQ(client.Reply(), "250 2.0.0 OK queued as 1");
    EXPECT_EQ(client.Command("QUIT"), "221 Bye");

    const std::vector<TSmtpStoredMessage> messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Sequence, 1);
    EXPECT_EQ(messages[0].MailFrom, "loja@example.com");
    EXPECT_EQ(messages[0].Recipients, std::vector<std::string>{"contador@example.com"});
    EXPECT_EQ(messages[0].User, "");
    EXPECT_EQ(messages[0].Path.rfind(server.Maildir() + "/", 0), 0u);
    EXPECT_EQ(messages[0].Content(), "Subject: teste\r\n\r\n.linha com ponto\r\nfim\r\n");

    const TSmtpSessionLog log = server.SessionLog();
    EXPECT_EQ(log.Commands(1), (std::vector<std::string>{"EHLO client.test", "MAIL FROM:<loja@example.com>",
                                                         "RCPT TO:<contador@example.com>", "DATA", "QUIT"}));
    EXPECT_EQ(log.Replies(1).back(), "221 Bye");
    EXPECT_EQ(log.CommandsByRead(1).size(), 5u) << "each command waited for its reply";
    EXPECT_EQ(log.Events("message", 1).at(0)->Number("bytes"), static_cast<std::int64_t>(messages[0].Content().size()));
}

TEST(SmtpTestServerTest, PipelinedCommandsShowAsOneRead)
{
    TSmtpTestServer server({.Mode = TSmtpServerMode::Plain, .Pipelining = true});
    TRawClient client(server.Port());
    client.Reply();
    client.Command("EHLO client.test");
    client.Send("MAIL FROM:<a@example.com>\r\nRCPT TO:<b@example.com>\r\nDATA\r\n");
    EXPECT_EQ(client.Reply(), "250 OK");
    EXPECT_EQ(client.Reply(), "250 OK");
    EXPECT_EQ(client.Reply().substr(0, 4), "354 ");
    client.Send("x\r\n.\r\n");
    client.Reply();

    EXPECT_EQ(server.SessionLog().CommandsByRead(1),
              (std::vector<std::vector<std::string>>{{"EHLO client.test"},
                                                     {"MAIL FROM:<a@example.com>", "RCPT TO:<b@example.com>", "DATA"}}));
}

TEST(SmtpTestServerTest, FaultsAndWhatTheServerLogsLaterAreSeen)
{
    TSmtpTestServer server(
        {.Mode = TSmtpServerMode::Plain, .Faults = {{TSmtpServerStep::AfterMail, TSmtpServerAction::Close}}});
    TRawClient client(server.Port());
    client.Reply();
    client.Command("EHLO client.test");
    EXPECT_EQ(client.Command("MAIL FROM:<a@example.com>"), "") << "the connection ends instead of a reply";

    const TSmtpSessionLog log = server.WaitForLog([](const TSmtpSessionLog& l) { return !l.Events("close", 1).empty(); });
    ASSERT_EQ(log.Events("close", 1).size(), 1u);
    EXPECT_EQ(log.Events("close", 1)[0]->Text("by"), "server");
    ASSERT_EQ(log.Events("fault", 1).size(), 1u);
    EXPECT_EQ(log.Events("fault", 1)[0]->Text("step"), "after-mail");
    EXPECT_EQ(log.Events("fault", 1)[0]->Text("action"), "close");
}

TEST(SmtpTestServerTest, StopLeavesNoProcessAndNoFolderEvenWithAConnectionOpen)
{
    std::optional<TRawClient> client;
    std::string maildir;
    {
        TSmtpTestServer server(
            {.Mode = TSmtpServerMode::Plain, .Faults = {{TSmtpServerStep::AfterGreeting, TSmtpServerAction::Stall}}});
        maildir = server.Maildir();
        client.emplace(server.Port());
        client->Reply();
        EXPECT_TRUE(ProcessRunsWith(maildir));
    }
    EXPECT_FALSE(ProcessRunsWith(maildir));
    EXPECT_FALSE(std::filesystem::exists(maildir));
    EXPECT_EQ(client->Line(), "") << "the stalled connection ended with the server";
}

TEST(SmtpTestServerTest, TlsModesStartWithTheTestCertificates)
{
    TSmtpTestServer implicitTls({.Mode = TSmtpServerMode::ImplicitTls});
    EXPECT_EQ(implicitTls.SessionLog().Events("start").at(0)->Text("mode"), "implicit-tls");

    TSmtpTestServer startTls({.Mode = TSmtpServerMode::StartTls});
    TRawClient client(startTls.Port());
    client.Reply();
    client.Send("EHLO client.test\r\n");
    std::vector<std::string> capabilities;
    for (std::string line = client.Line(); !line.empty(); line = line[3] == '-' ? client.Line() : "")
        capabilities.push_back(line.substr(4));
    EXPECT_EQ(capabilities, (std::vector<std::string>{"localhost", "8BITMIME", "STARTTLS"}));
    EXPECT_EQ(client.Command("STARTTLS"), "220 2.0.0 Ready to start TLS");
}

TEST(SmtpTestServerTest, AServerThatCannotStartIsReported)
{
    EXPECT_THROW(TSmtpTestServer({.Mode = TSmtpServerMode::ImplicitTls,
                                  .CertFile = "/nonexistent/server.pem",
                                  .KeyFile = "/nonexistent/server.key"}),
                 std::runtime_error);
}

TEST(SmtpTestServerTest, LogLinesAreReadAsJson)
{
    const TTestJson entry = TTestJson::Parse(
        R"({"conn": 2, "ev": "cmd", "line": "caf\u00e9 \ud83d\ude00 \"q\" \\", "crlf": false, "to": ["a", "b"], "user": null})");
    EXPECT_EQ(entry["conn"].AsInt(), 2);
    EXPECT_EQ(entry["line"].AsString(), "caf\xC3\xA9 \xF0\x9F\x98\x80 \"q\" \\");
    EXPECT_FALSE(entry["crlf"].AsBool());
    EXPECT_EQ(entry["to"].Items().at(1).AsString(), "b");
    EXPECT_TRUE(entry["user"].IsNull());
    EXPECT_TRUE(entry["absent"].IsNull());
    EXPECT_THROW(entry["ev"].AsInt(), std::runtime_error);
    for (const char* broken : {R"({"a": })", R"({"a": "\x"})", R"(["a",])", R"({"a": 1} x)", "\"open"})
        EXPECT_THROW(TTestJson::Parse(broken), std::runtime_error) << broken;
}
