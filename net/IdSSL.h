#pragma once
// TIdSSLIOHandlerSocketBase: the socket I/O handler with a TLS layer between the
// buffered I/O and the socket. With PassThrough the bytes go to the socket as they
// are; without it they pass through the TLS layer, which a descendant provides
// (ReceiveEncrypted, SendEncrypted, StartSSL). A protocol with implicit TLS clears
// PassThrough before Open, so the handshake follows the TCP connect at once; one with
// explicit TLS sets it, talks in plain text, and clears it for the upgrade.
//
// Protocol code only needs to know that its handler is one of these: nothing above
// the handler sees whether the bytes are encrypted.

#include "net/IdIOHandlerStack.h"

#include <cstdint>
#include <memory>

class TIdSSLIOHandlerSocketBase : public TIdIOHandlerStack {
public:
    explicit TIdSSLIOHandlerSocketBase(TIdCreationKey key) : TIdIOHandlerStack(key) {}

    static String ClassName() { return u"TIdSSLIOHandlerSocketBase"; }

    // False after creation: TLS from the first byte.
    bool PassThrough() const { return fPassThrough; }
    virtual void SetPassThrough(bool AValue) { fPassThrough = AValue; }
    // The handler serves the accepting side of a server.
    bool IsPeer() const { return fIsPeer; }
    void SetIsPeer(bool AValue) { fIsPeer = AValue; }
    // The name the peer's certificate is checked against, as a URI or a bare host
    // (see the descendant for when it is used).
    const String& URIToCheck() const { return FURIToCheck; }
    virtual void SetURIToCheck(const String& AValue) { FURIToCheck = AValue; }

    // A new handler with the same settings, for a connection a server accepted.
    virtual std::unique_ptr<TIdSSLIOHandlerSocketBase> Clone() = 0;
    // Prepares the TLS layer and, unless passing through, runs the handshake.
    virtual void StartSSL() = 0;

protected:
    void InitializeDefaults() override;

    // With PassThrough the socket handler's transfer, else the TLS layer's.
    std::int32_t ReceiveFromSource(TIdBytes& VBuffer) override;
    std::int32_t SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) override;
    virtual std::int32_t ReceiveEncrypted(TIdBytes& VBuffer) = 0;
    virtual std::int32_t SendEncrypted(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) = 0;

    // Stores the value without the setter's work (the handshake does this itself).
    void StorePassThrough(bool AValue) { fPassThrough = AValue; }

private:
    bool fPassThrough = false;
    bool fIsPeer = false;
    String FURIToCheck;
};
