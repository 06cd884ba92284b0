#pragma once
// TIdSSLIOHandlerSocketOpenSSL: the TLS I/O handler on the OpenSSL binding. After the
// TCP connect it builds a library context from SSLOptions and, unless PassThrough is
// set, runs the client handshake; from then on every byte passes through the
// library. Close sends the closing alert and frees the connection object and the
// context, so each connection gets a new context and a new handshake.
//
// Certificate verification stays off unless SSLOptions.VerifyMode asks for it. When
// it does, the server's certificate is verified against the system's trust store
// plus RootCertFile, and the host name (URIToCheck's host, else Host) is sent as the
// server name and checked against the certificate: a certificate for another name
// fails the handshake with a message naming the host. The mail password must not go
// to whoever answers on the port.
//
// Transport failures follow the buffered base class's rule: a failed read or write
// closes the handler before its error is raised; a socket error comes out as
// EIdSocketError with its 100xx code, a TLS failure as the library's exception.

#include "net/IdSSL.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdSSLSocket.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

// Status texts; AMsg is "SSL status: ..." or the negotiated cipher.
using TCallbackEvent = std::function<void(const String& AMsg)>;
using TCallbackExEvent = std::function<void(TComponent* ASender, const SSL* AsslSocket, std::int32_t AWhere,
                                            std::int32_t Aret, const String& AType, const String& AMsg)>;
// The password of an encrypted key file.
using TPasswordEvent = std::function<void(String& Password)>;
using TPasswordEventEx = std::function<void(TComponent* ASender, String& VPassword, bool AIsWrite)>;
// Decides on one certificate of the peer's chain; AOk is the library's verdict.
using TVerifyPeerEvent =
    std::function<bool(TIdX509* Certificate, bool AOk, std::int32_t ADepth, std::int32_t AError)>;
using TIOHandlerNotify = std::function<void(TIdIOHandler* ASender)>;

// The host of a URI ("smtps://user@[::1]:465/x" gives "::1"); a text without a scheme
// is taken as host[:port].
String HostOfURI(const String& AURI);

class TIdSSLIOHandlerSocketOpenSSL : public TIdSSLIOHandlerSocketBase, public IIdSSLContextParent {
public:
    explicit TIdSSLIOHandlerSocketOpenSSL(TIdCreationKey key) : TIdSSLIOHandlerSocketBase(key) {}
    ~TIdSSLIOHandlerSocketOpenSSL() override;

    static String ClassName() { return u"TIdSSLIOHandlerSocketOpenSSL"; }
    // True once the class is in the handler registry (not as the default class). The
    // registration runs while the program starts.
    static bool ClassRegistered();

    // --- Settings and state ---------------------------------------------------------
    TIdSSLOptions& SSLOptions() { return *fxSSLOptions; }
    const TIdSSLOptions& SSLOptions() const { return *fxSSLOptions; }
    void SetSSLOptions(const TIdSSLOptions& AValue) { fxSSLOptions->Assign(AValue); }
    // The TLS connection and the library context of the current connection, if any.
    TIdSSLSocket* SSLSocket() const { return fSSLSocket.get(); }
    TIdSSLContext* SSLContext() const { return fSSLContext.get(); }
    // The name the certificate is checked against and sent as the server name: the
    // host of URIToCheck, else Host.
    String HostToCheck() const;

    TCallbackEvent OnStatusInfo;
    TCallbackExEvent OnStatusInfoEx;
    TPasswordEvent OnGetPassword;
    TPasswordEventEx OnGetPasswordEx;
    TVerifyPeerEvent OnVerifyPeer;
    // Between the TCP connect and the handshake.
    TIOHandlerNotify OnBeforeConnect;

    // --- Connection -----------------------------------------------------------------
    // Drops what is left of an earlier connection, then connects (and, unless
    // passing through, runs the handshake).
    void Open() override;
    // The closing alert, the connection object and the context go, then the socket.
    void Close() override;
    // True: plain bytes from now on (the time-out options of the socket are cleared).
    // False on an open connection: the explicit upgrade; bytes received in plain
    // text and not yet read are dropped, so none of them passes for protected data.
    void SetPassThrough(bool AValue) override;
    // Bytes the library has already decrypted count as readable.
    bool Readable(std::int32_t AMSec = IdTimeoutDefault) override;
    // Server side: the handshake of an accepted connection; closes on failure.
    void AfterAccept() override;
    std::unique_ptr<TIdSSLIOHandlerSocketBase> Clone() override;
    void StartSSL() override;

    // --- What the library's callbacks reach (each fires its event when assigned) -----
    void DoStatusInfo(const String& AMsg) override;
    void DoStatusInfoEx(const SSL* AsslSocket, std::int32_t AWhere, std::int32_t Aret, const String& AType,
                        const String& AMsg) override;
    void DoGetPassword(String& APassword) override;
    void DoGetPasswordEx(String& VPassword, bool AIsWrite) override;
    bool DoVerifyPeer(TIdX509* Certificate, bool AOk, std::int32_t ADepth, std::int32_t AError) override;

protected:
    void InitializeDefaults() override;
    // The socket handler's connect in pass-through, then OnBeforeConnect and StartSSL.
    void EstablishConnection() override;
    std::int32_t ReceiveEncrypted(TIdBytes& VBuffer) override;
    std::int32_t SendEncrypted(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) override;
    // A failed system call is translated as the socket handler does; any other TLS
    // failure is kept and raised by RaiseTransportError after the base class has
    // closed the handler.
    std::int32_t TranslateTransportError(std::int32_t ALastResult) override;
    void RaiseTransportError(std::int32_t AError) override;

    virtual void DoBeforeConnect();
    // Makes and builds the context from SSLOptions when there is none.
    void PrepareContext();
    // The handshake on the connected socket, bounded by the socket's time-out options
    // (ReadTimeout, or 30 s when that is 0 or less).
    virtual void StartEncryptedSession();

private:
    void SetSocketTimeouts(std::int32_t AMSec);

    std::unique_ptr<TIdSSLContext> fSSLContext;
    std::unique_ptr<TIdSSLOptions> fxSSLOptions;
    // After the context: its closing alert may still need the context.
    std::unique_ptr<TIdSSLSocket> fSSLSocket;
    // The TLS failure that TranslateTransportError translated, raised by
    // RaiseTransportError.
    std::exception_ptr FPendingTlsError;
};
