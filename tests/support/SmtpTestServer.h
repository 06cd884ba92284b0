#pragma once
// A real SMTP server for tests (tests/support/smtp_server.py, on aiosmtpd) on a free
// port of 127.0.0.1: implicit TLS, STARTTLS or plain, AUTH LOGIN and PLAIN against one
// account, knobs that change its answers and faults that it commits on the wire at
// named steps. Every server has a mail folder with the accepted messages, their
// envelopes and a session log of the whole dialogue; the file smtp_server.py describes
// each knob, step, fault and log entry. The server process goes with the object (and
// with the test program, should that die first).
//
//     TSmtpTestServer server({.Mode = TSmtpServerMode::ImplicitTls,
//                             .User = "loja@example.com", .Password = "segredo",
//                             .Faults = {{TSmtpServerStep::AfterMail, TSmtpServerAction::Close}}});
//     ... connect a client to 127.0.0.1:server.Port(), trusting TestCertificates().CACert ...
//     EXPECT_EQ(server.Messages().size(), 0u);
//     EXPECT_EQ(server.SessionLog().Commands(1).back(), "MAIL FROM:<loja@example.com>");

#include "support/TestChildProcess.h"
#include "support/TestJson.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TSmtpServerMode { ImplicitTls, StartTls, Plain };

// "After" a client command: it was received and not yet answered; "after" a server line:
// the line was sent.
enum class TSmtpServerStep {
    AfterTlsHandshake,
    AfterGreeting,
    MidEhloReply,   // the first line of the EHLO reply was sent, the rest not
    AfterStartTls,  // 220 to STARTTLS sent, no handshake yet
    AfterAuthLogin,
    AfterUsername,
    AfterMail,
    AfterRcpt,
    AfterData,      // DATA received, no 354 sent
    After354,
    MidData,        // MidDataBytes of message data received
    BeforeDotReply, // the final dot received; nothing stored yet
};

enum class TSmtpServerAction {
    Close,     // orderly: close_notify under TLS, then FIN
    Truncate,  // FIN without close_notify
    Reset,     // RST
    TlsAlert,  // a fatal TLS alert, then FIN
    Stall,     // nothing more sent or read on the connection
    Refuse421, // "421 4.4.2 ..." in place of the reply, then an orderly close
    // Garbage is sent, then the session goes on (the real reply follows).
    GarbageNoCode,
    GarbageFiveDigit,
    GarbageLongLine, // one line of 1 MiB starting "250 "
    GarbageBinary,
};

// Every member has an initializer, so designated initializers may name any few of them.
struct TSmtpServerOptions {
    TSmtpServerMode Mode = TSmtpServerMode::ImplicitTls;
    // The one account; with an empty User every login fails.
    std::string User{};
    std::string Password{};
    bool RefuseEhlo = false;     // 502 to EHLO; HELO works
    bool NoAuth = false;         // no AUTH offered
    bool AuthPlainOnly = false;  // only AUTH PLAIN offered
    bool RequireAuth = false;    // 530 to MAIL, RCPT and DATA before a login
    bool Username235 = false;    // AUTH LOGIN: the right user name is answered 235
    std::vector<std::string> RefusedRecipients{}; // answered 550
    bool DotReply552 = false;    // 552 to the final dot
    bool Pipelining = false;     // advertise PIPELINING
    std::uint64_t Size = 0;      // advertise and enforce SIZE; 0: none
    bool RefuseStartTls = false; // 454 to STARTTLS
    std::string Greeting{};      // the whole greeting line; empty: the server's own
    std::vector<std::pair<TSmtpServerStep, TSmtpServerAction>> Faults{}; // one per step
    std::uint64_t MidDataBytes = 4096;
    int FaultConnections = 0;    // faults only on the first N connections; 0: all
    // Empty: the test certificate for localhost and 127.0.0.1 (TestCertificates.h).
    std::string CertFile{};
    std::string KeyFile{};
    // Empty: a new temporary folder, removed with the server.
    std::string Maildir{};
};

struct TSmtpStoredMessage {
    int Sequence = 0;
    std::string Path;
    std::string MailFrom;
    std::vector<std::string> Recipients;
    std::string User; // the login of the session; empty without one
    int Connection = 0;
    // The message as received, after dot-unstuffing.
    std::string Content() const;
};

struct TSmtpLogEntry {
    int Connection = 0; // 0: the server itself (start, stop)
    std::string Event;
    TTestJson Fields;   // the whole entry
    std::string Text(std::string_view name) const { return Fields[name].AsString(); }
    std::int64_t Number(std::string_view name) const { return Fields[name].AsInt(); }
};

class TSmtpSessionLog {
public:
    std::vector<TSmtpLogEntry> Entries;

    // connection 0: all connections.
    std::vector<const TSmtpLogEntry*> Events(std::string_view event, int connection = 0) const;
    // Command lines in order; a redacted one (it held the password) as "<redacted>".
    std::vector<std::string> Commands(int connection = 0) const;
    std::vector<std::string> Replies(int connection = 0) const;
    // The command lines of a connection grouped by the socket read that completed them:
    // pipelined MAIL, RCPT and DATA sent in one write form one group.
    std::vector<std::vector<std::string>> CommandsByRead(int connection) const;
};

class TSmtpTestServer {
public:
    // Starts the server and waits (bounded) until it listens; throws std::runtime_error
    // when it does not start.
    explicit TSmtpTestServer(const TSmtpServerOptions& options = {});
    ~TSmtpTestServer();
    TSmtpTestServer(const TSmtpTestServer&) = delete;
    TSmtpTestServer& operator=(const TSmtpTestServer&) = delete;

    std::uint16_t Port() const { return FPort; }
    const std::string& Maildir() const { return FMaildir; }
    long Pid() const;

    // Messages are stored before the final dot is answered, so a client that got its
    // 250 finds its message here.
    std::vector<TSmtpStoredMessage> Messages() const;
    TSmtpSessionLog SessionLog() const;
    // Reads the log until `done` holds or the bound passes and returns the last reading:
    // for what the server logs after the client has moved on (the close of a connection).
    TSmtpSessionLog WaitForLog(const std::function<bool(const TSmtpSessionLog&)>& done,
                               std::chrono::milliseconds bound = std::chrono::seconds(10)) const;
    // Ends the server process (the destructor does it too); the mail folder stays until
    // the object goes.
    void Stop();

private:
    bool FOwnsMaildir;
    std::string FMaildir;
    std::unique_ptr<TTestChildProcess> FProcess;
    std::uint16_t FPort = 0;
};
