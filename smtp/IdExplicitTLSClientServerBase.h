#pragma once
// TIdExplicitTLSClient: the TLS-capable command client under the message client and
// the SMTP client. It carries the TLS mode of the session; how each mode is carried
// out (TLS from the first byte, or STARTTLS after the greeting) is the business of
// the protocol client above it.

#include "smtp/IdTCPClient.h"

enum class TIdUseTLS {
    utNoTLSSupport,    // plain connection only
    utUseImplicitTLS,  // TLS from the first byte (SMTP on port 465)
    utUseRequireTLS,   // STARTTLS, and refuse to go on without it
    utUseExplicitTLS,  // STARTTLS when the server offers it
};

class TIdExplicitTLSClient : public TIdTCPClientCustom {
public:
    explicit TIdExplicitTLSClient(TIdCreationKey key) : TIdTCPClientCustom(key) {}

    static String ClassName() { return u"TIdExplicitTLSClient"; }

    TIdUseTLS UseTLS() const { return FUseTLS; }
    // Stores the mode. The checks that tie a mode to the I/O handler and to the port
    // come with the protocol client that uses them.
    virtual void SetUseTLS(TIdUseTLS AValue);

protected:
    void InitializeDefaults() override;

private:
    TIdUseTLS FUseTLS = TIdUseTLS::utNoTLSSupport;
};
