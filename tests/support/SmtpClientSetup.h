#pragma once
// SMTP clients and TLS handlers for the SMTP tests, set up as the mail dispatch sets
// them up, with a read time-out so that a fault cannot hang a test.

#include "mime/IdGlobal.h"
#include "net/IdSSLIOHandlerSocketOpenSSL.h"
#include "smtp/IdSMTP.h"

#include <cstdint>
#include <memory>

inline constexpr std::int32_t kSmtpTestReadTimeout = 10000;

// The negotiating method in client mode, no verification.
inline std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> MakeSmtpTlsHandler()
{
    auto io = MakeComponent<TIdSSLIOHandlerSocketOpenSSL>();
    io->SSLOptions().SetMethod(TIdSSLVersion::sslvSSLv23);
    io->SSLOptions().SetMode(TIdSSLMode::sslmClient);
    return io;
}

// A client for 127.0.0.1:port with a fixed HELO name; with a handler, that handler
// (attached before the TLS mode, as the mode requires).
inline std::unique_ptr<TIdSMTP> MakeSmtpClient(std::uint16_t port, TIdIOHandler* handler = nullptr,
                                               TIdUseTLS mode = TIdUseTLS::utNoTLSSupport)
{
    auto smtp = MakeComponent<TIdSMTP>();
    if (handler)
        smtp->SetIOHandler(handler);
    smtp->SetUseTLS(mode);
    smtp->SetHost(u"127.0.0.1");
    smtp->SetPort(port);
    smtp->SetHeloName(u"orvant.test");
    smtp->SetReadTimeout(kSmtpTestReadTimeout);
    return smtp;
}
