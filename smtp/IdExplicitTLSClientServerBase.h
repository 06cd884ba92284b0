#pragma once
// TIdExplicitTLSClient: the TLS-capable command client under the message client and
// the SMTP client. It carries the TLS mode of the session and the rules that tie a
// mode to the I/O handler and the port:
//
//   - every mode but utNoTLSSupport needs a TLS handler (TIdSSLIOHandlerSocketBase),
//     so the handler is attached before the mode is chosen;
//   - switching to implicit TLS moves the protocol's plain port to its TLS port
//     (SMTP: 25 to 465), and switching away moves it back; other ports stay;
//   - the mode cannot change while connected.
//
// How a mode is carried out (TLS from the first byte, or STARTTLS after the greeting)
// is the protocol client's business; this class offers the handshake and the three
// ways an upgrade can fail, each with its event that may let the session go on in
// plain text.

#include "smtp/IdTCPClient.h"

#include <functional>

class TIdSSLIOHandlerSocketBase;

enum class TIdUseTLS {
    utNoTLSSupport,    // plain connection only
    utUseImplicitTLS,  // TLS from the first byte (SMTP on port 465)
    utUseRequireTLS,   // STARTTLS, and refuse to go on without it
    utUseExplicitTLS,  // STARTTLS when the server offers it
};

// Asked when an upgrade to TLS cannot happen; VContinue true goes on in plain text.
using TIdOnTLSNegotiationFailure = std::function<void(TComponent* Asender, bool& VContinue)>;

class TIdExplicitTLSClient : public TIdTCPClientCustom {
public:
    explicit TIdExplicitTLSClient(TIdCreationKey key) : TIdTCPClientCustom(key) {}

    static String ClassName() { return u"TIdExplicitTLSClient"; }

    TIdUseTLS UseTLS() const { return FUseTLS; }
    // Refused while connected; needs a TLS handler for every mode but
    // utNoTLSSupport; moves the port between the regular and the implicit-TLS port.
    // While loading, the value is only stored (the checks run when loading ends).
    virtual void SetUseTLS(TIdUseTLS AValue);

    // The protocol's plain port and its TLS-from-the-start port.
    TIdPort RegularPort() const { return FRegularPort; }
    TIdPort ImplicitTLSPort() const { return FImplicitTLSPort; }

    // The server's capability lines (for SMTP: the EHLO reply without its first line).
    TStrings& Capabilities() { return FCapabilities; }
    const TStrings& Capabilities() const { return FCapabilities; }
    // Whether the server offers the upgrade. Never here.
    virtual bool SupportsTLS() const { return false; }

    // A handler that is not a TLS handler (or none) under a TLS mode sets the mode
    // back to utNoTLSSupport, through SetUseTLS, so the port moves back too.
    void SetIOHandler(TIdIOHandler* AValue) override;

    TIdOnTLSNegotiationFailure OnTLSNotAvailable;    // the server does not offer it
    TIdOnTLSNegotiationFailure OnTLSNegCmdFailed;    // the server refused the command
    TIdOnTLSNegotiationFailure OnTLSHandShakeFailed; // the handshake failed

protected:
    void InitializeDefaults() override;
    void Loaded() override;

    void SetRegularPort(TIdPort AValue) { FRegularPort = AValue; }
    void SetImplicitTLSPort(TIdPort AValue) { FImplicitTLSPort = AValue; }
    // Stores the mode without any rule (no port move, no handler check).
    void StoreUseTLS(TIdUseTLS AValue) { FUseTLS = AValue; }

    // The handler when it is a TLS handler, else none.
    TIdSSLIOHandlerSocketBase* TLSIOHandler() const;
    // Raises EIdTLSClientSSLIOHandlerRequred "SSL IOHandler is required for this
    // setting" without a TLS handler.
    virtual void RequireTLSIOHandler() const;

    // The upgrade on the open connection: the TLS handler leaves pass-through and
    // negotiates. A failure takes the handshake-failed path.
    virtual void StartTLSHandshake();
    // The failure paths of an upgrade. Under utUseRequireTLS each raises; otherwise
    // its event decides (VContinue starts true for a server that does not offer TLS,
    // false for the other two) and they raise unless it answers true.
    //   not offered:        EIdTLSClientTLSNotAvailable "Start SSL negotiation command failed."
    //   command refused:    EIdTLSClientTLSNotAvailable, "SSL is not available on this
    //                       server." when required, else "Start SSL negotiation command failed."
    //   handshake failed:   disconnects without goodbye, then
    //                       EIdTLSClientTLSHandShakeFailed "SSL is not available on this server."
    // The first two leave the goodbye to the caller, which still has a session.
    void TLSNotAvailable();
    void TLSNegCmdFailed();
    void TLSHandShakeFailed();

private:
    bool AskToContinue(const TIdOnTLSNegotiationFailure& AEvent, bool AContinue);

    TIdPort FRegularPort = 0;
    TIdPort FImplicitTLSPort = 0;
    TIdUseTLS FUseTLS = TIdUseTLS::utNoTLSSupport;
    TStringList FCapabilities;
};
