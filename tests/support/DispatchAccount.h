#pragma once
// The mail account of the application's dispatch tests: a test server that knows it,
// the deployment that points the program at that server (by the name "localhost",
// which its certificate carries, trusting the test CA), and the parts of a stored
// message as Python's email package reads them.

#include "platform/DeploymentConfig.h"
#include "support/ExternalProgram.h"
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"

#include <sstream>
#include <string>
#include <vector>

inline const std::string kDispatchMailbox = "automail@dravik.com.br";
inline const std::string kDispatchPassword = "Segr3do-2026"; // twelve characters, as the program's

inline TSmtpServerOptions WithDispatchAccount(TSmtpServerOptions options = {})
{
    options.User = kDispatchMailbox;
    options.Password = kDispatchPassword;
    return options;
}

inline orvant::platform::TDeploymentConfig DispatchDeployment(const TSmtpTestServer& server,
                                                              orvant::platform::TWinPathRoots roots = {})
{
    orvant::platform::TDeploymentConfig config;
    config.SourcePath = "/etc/orvant/orvant.conf";
    config.Roots = std::move(roots);
    config.MailHost = u"localhost";
    config.MailPort = server.Port();
    config.Mailbox = std::u16string(kDispatchMailbox.begin(), kDispatchMailbox.end());
    config.Password = std::u16string(kDispatchPassword.begin(), kDispatchPassword.end());
    config.CAFile = TestCertificates().CACert;
    return config;
}

// One line per part (the message itself when it has no parts): the content type,
// and for an attachment its file name and the size of its decoded content.
inline std::vector<std::string> StoredParts(const TSmtpStoredMessage& message)
{
    const TProgramResult read = RunPython(R"(
import sys, email, email.policy
msg = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
for part in msg.walk():
    if part.is_multipart():
        continue
    name = part.get_filename()
    print(part.get_content_type() + (f" {name} {len(part.get_payload(decode=True))}" if name else ""))
)",
                                          message.Content());
    std::vector<std::string> lines;
    std::istringstream in(read.Output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
