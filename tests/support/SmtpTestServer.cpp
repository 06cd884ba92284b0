#include "support/SmtpTestServer.h"

#include "support/TempDir.h"
#include "support/TestCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace {

const char* ModeName(TSmtpServerMode mode)
{
    switch (mode) {
    case TSmtpServerMode::ImplicitTls: return "implicit-tls";
    case TSmtpServerMode::StartTls: return "starttls";
    case TSmtpServerMode::Plain: return "plain";
    }
    return "";
}

const char* StepName(TSmtpServerStep step)
{
    switch (step) {
    case TSmtpServerStep::AfterTlsHandshake: return "after-tls-handshake";
    case TSmtpServerStep::AfterGreeting: return "after-greeting";
    case TSmtpServerStep::MidEhloReply: return "mid-ehlo-reply";
    case TSmtpServerStep::AfterStartTls: return "after-starttls";
    case TSmtpServerStep::AfterAuthLogin: return "after-auth-login";
    case TSmtpServerStep::AfterUsername: return "after-username";
    case TSmtpServerStep::AfterMail: return "after-mail";
    case TSmtpServerStep::AfterRcpt: return "after-rcpt";
    case TSmtpServerStep::AfterData: return "after-data";
    case TSmtpServerStep::After354: return "after-354";
    case TSmtpServerStep::MidData: return "mid-data";
    case TSmtpServerStep::BeforeDotReply: return "before-dot-reply";
    }
    return "";
}

const char* ActionName(TSmtpServerAction action)
{
    switch (action) {
    case TSmtpServerAction::Close: return "close";
    case TSmtpServerAction::Truncate: return "truncate";
    case TSmtpServerAction::Reset: return "reset";
    case TSmtpServerAction::TlsAlert: return "tls-alert";
    case TSmtpServerAction::Stall: return "stall";
    case TSmtpServerAction::Refuse421: return "refuse-421";
    case TSmtpServerAction::GarbageNoCode: return "garbage-no-code";
    case TSmtpServerAction::GarbageFiveDigit: return "garbage-five-digit";
    case TSmtpServerAction::GarbageLongLine: return "garbage-long-line";
    case TSmtpServerAction::GarbageBinary: return "garbage-binary";
    }
    return "";
}

std::vector<std::string> CommandLine(const TSmtpServerOptions& o, const std::string& maildir)
{
    std::vector<std::string> argv{"/usr/bin/python3", ORVANT_SOURCE_DIR "/tests/support/smtp_server.py",
                                  "--mode", ModeName(o.Mode), "--port", "0", "--maildir", maildir};
    if (o.Mode != TSmtpServerMode::Plain) {
        // The test certificates are made only when a TLS mode needs them.
        const bool own = o.CertFile.empty();
        argv.insert(argv.end(), {"--cert", own ? TestCertificates().ServerCert : o.CertFile,
                                 "--key", own ? TestCertificates().ServerKey : o.KeyFile});
    }
    if (!o.User.empty())
        argv.insert(argv.end(), {"--user", o.User, "--password", o.Password});
    const std::pair<bool, const char*> flags[] = {
        {o.RefuseEhlo, "--refuse-ehlo"},       {o.NoAuth, "--no-auth"},
        {o.AuthPlainOnly, "--auth-plain-only"}, {o.RequireAuth, "--require-auth"},
        {o.Username235, "--username-235"},     {o.DotReply552, "--dot-reply-552"},
        {o.Pipelining, "--pipelining"},        {o.RefuseStartTls, "--refuse-starttls"},
    };
    for (const auto& [on, flag] : flags) {
        if (on)
            argv.emplace_back(flag);
    }
    for (const std::string& address : o.RefusedRecipients)
        argv.insert(argv.end(), {"--refuse-rcpt", address});
    if (o.Size != 0)
        argv.insert(argv.end(), {"--size", std::to_string(o.Size)});
    if (!o.Greeting.empty())
        argv.insert(argv.end(), {"--greeting", o.Greeting});
    for (const auto& [step, action] : o.Faults)
        argv.insert(argv.end(), {"--fault", std::string(StepName(step)) + "=" + ActionName(action)});
    argv.insert(argv.end(), {"--mid-data-bytes", std::to_string(o.MidDataBytes), "--fault-connections",
                             std::to_string(o.FaultConnections)});
    return argv;
}

// One JSON value per line; a missing file has none. A last line without its line end
// is still being written and is left for the next reading.
std::vector<TTestJson> ReadJsonLines(const std::string& path)
{
    std::vector<TTestJson> values;
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line) && !file.eof()) {
        if (!line.empty())
            values.push_back(TTestJson::Parse(line));
    }
    return values;
}

} // namespace

std::string TSmtpStoredMessage::Content() const
{
    std::ifstream file(Path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + Path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<const TSmtpLogEntry*> TSmtpSessionLog::Events(std::string_view event, int connection) const
{
    std::vector<const TSmtpLogEntry*> found;
    for (const TSmtpLogEntry& entry : Entries) {
        if (entry.Event == event && (connection == 0 || entry.Connection == connection))
            found.push_back(&entry);
    }
    return found;
}

namespace {

std::string LineOf(const TSmtpLogEntry& entry)
{
    return entry.Fields.Has("line") ? entry.Text("line") : "<redacted>";
}

} // namespace

std::vector<std::string> TSmtpSessionLog::Commands(int connection) const
{
    std::vector<std::string> lines;
    for (const TSmtpLogEntry* entry : Events("cmd", connection))
        lines.push_back(LineOf(*entry));
    return lines;
}

std::vector<std::string> TSmtpSessionLog::Replies(int connection) const
{
    std::vector<std::string> lines;
    for (const TSmtpLogEntry* entry : Events("reply", connection))
        lines.push_back(LineOf(*entry));
    return lines;
}

std::vector<std::vector<std::string>> TSmtpSessionLog::CommandsByRead(int connection) const
{
    std::vector<std::vector<std::string>> groups;
    std::int64_t lastRead = -1;
    for (const TSmtpLogEntry* entry : Events("cmd", connection)) {
        const std::int64_t read = entry->Number("read");
        if (groups.empty() || read != lastRead)
            groups.emplace_back();
        groups.back().push_back(LineOf(*entry));
        lastRead = read;
    }
    return groups;
}

TSmtpTestServer::TSmtpTestServer(const TSmtpServerOptions& options)
    : FOwnsMaildir(options.Maildir.empty())
    , FMaildir(FOwnsMaildir ? orvant::test::NewTempFolder("orvant-smtp-") : options.Maildir)
{
    try {
        // The server holds our pipe as its standard input and ends when that closes.
        FProcess = std::make_unique<TTestChildProcess>(CommandLine(options, FMaildir), true);
        const std::optional<std::string> ready = FProcess->ReadLineWithin(std::chrono::seconds(30));
        const std::string prefix = "READY port=";
        const int port = ready && ready->starts_with(prefix) ? std::atoi(ready->c_str() + prefix.size()) : 0;
        if (port <= 0 || port > 65535)
            throw std::runtime_error("the SMTP test server did not start: " +
                                     (ready ? "\"" + *ready + "\"" : std::string("no ready line in time")));
        FPort = static_cast<std::uint16_t>(port);
    } catch (...) {
        Stop();
        if (FOwnsMaildir)
            std::filesystem::remove_all(FMaildir);
        throw;
    }
}

TSmtpTestServer::~TSmtpTestServer()
{
    Stop();
    if (FOwnsMaildir) {
        std::error_code ignored; // a folder left behind in /tmp must not fail the test
        std::filesystem::remove_all(FMaildir, ignored);
    }
}

long TSmtpTestServer::Pid() const
{
    return FProcess ? FProcess->Pid() : -1;
}

void TSmtpTestServer::Stop()
{
    if (FProcess) {
        FProcess->Stop();
        FProcess.reset();
    }
}

std::vector<TSmtpStoredMessage> TSmtpTestServer::Messages() const
{
    std::vector<TSmtpStoredMessage> messages;
    for (const TTestJson& entry : ReadJsonLines(FMaildir + "/index.jsonl")) {
        TSmtpStoredMessage message;
        message.Sequence = static_cast<int>(entry["seq"].AsInt());
        message.Path = FMaildir + "/" + entry["file"].AsString();
        message.MailFrom = entry["mail_from"].AsString();
        for (const TTestJson& recipient : entry["rcpt_to"].Items())
            message.Recipients.push_back(recipient.AsString());
        if (!entry["user"].IsNull())
            message.User = entry["user"].AsString();
        message.Connection = static_cast<int>(entry["conn"].AsInt());
        messages.push_back(std::move(message));
    }
    return messages;
}

TSmtpSessionLog TSmtpTestServer::SessionLog() const
{
    TSmtpSessionLog log;
    for (TTestJson& fields : ReadJsonLines(FMaildir + "/session.log")) {
        TSmtpLogEntry entry;
        entry.Connection = static_cast<int>(fields["conn"].AsInt());
        entry.Event = fields["ev"].AsString();
        entry.Fields = std::move(fields);
        log.Entries.push_back(std::move(entry));
    }
    return log;
}

TSmtpSessionLog TSmtpTestServer::WaitForLog(const std::function<bool(const TSmtpSessionLog&)>& done,
                                            std::chrono::milliseconds bound) const
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        TSmtpSessionLog log = SessionLog();
        if (done(log) || std::chrono::steady_clock::now() >= deadline)
            return log;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
