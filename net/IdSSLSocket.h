#pragma once
// TIdSSLSocket: one TLS connection of the library on a connected socket, owned by the
// TLS I/O handler from the handshake to the close; TIdSSLCipher describes the cipher
// it negotiated.
//
// The connection object is read and written on a blocking socket whose receive and
// send time-out options are set, so a call ends with data, with the peer's close, or
// with an error. Failures are reported as the 1.0 library reported them, because the
// error translation above relies on that reading:
// - a time-out option that ran out makes the 3.x library ask for a retry (it sees
//   EAGAIN); that is reported as a failed system call with the time-out error;
// - a peer that drops the TCP connection without its closing alert is an error in
//   3.x ("unexpected eof while reading"); it is reported as a failed system call with
//   result 0 and no queued error, so a read gives 0 (the peer closed) and a handshake
//   "EOF was observed that violates the protocol".

#include "mime/IdGlobal.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdStack.h"

#include <cstdint>
#include <memory>

class TIdSSLIOHandlerSocketOpenSSL;
class TIdSSLSocket;

class TIdSSLCipher {
public:
    explicit TIdSSLCipher(const TIdSSLSocket* AOwner) : FSSLSocket(AOwner) {}

    // Empty (0) before a handshake.
    String Name() const;
    // The library's one-line description, without its line end.
    String Description() const;
    // The secret bits of the cipher's key.
    std::int32_t Bits() const;
    String Version() const;

private:
    const SSL_CIPHER* Current() const;

    const TIdSSLSocket* FSSLSocket;
};

class TIdSSLSocket {
public:
    explicit TIdSSLSocket(TIdSSLIOHandlerSocketOpenSSL* Parent) : fParent(Parent) {}
    // Sends the closing alert when the connection is sound (no alert after a fatal
    // error, which the library forbids), then frees the connection object.
    ~TIdSSLSocket();
    TIdSSLSocket(const TIdSSLSocket&) = delete;
    TIdSSLSocket& operator=(const TIdSSLSocket&) = delete;

    TIdSSLIOHandlerSocketOpenSSL* Parent() const { return fParent; }
    // The handler's context (not owned); set before Connect.
    TIdSSLContext* SSLContext() const { return fSSLContext; }
    void SetSSLContext(TIdSSLContext* AValue) { fSSLContext = AValue; }
    // The library's connection object, none before Connect.
    SSL* SSLHandle() const { return fSSL.get(); }

    // The name the server's certificate must carry, also sent as the server name
    // (SNI) unless it is an IP address. Empty: no name is sent or checked.
    const String& HostToCheck() const { return FHostToCheck; }
    void SetHostToCheck(const String& AValue) { FHostToCheck = AValue; }

    // The client handshake on the socket. Raises EIdOSSLConnectError (or, for a
    // refusal by the library, EIdOSSLUnderlyingCryptoError with its text; for a
    // failed socket, EIdSocketError); a certificate that fails verification adds a
    // line naming the host and the reason.
    void Connect(TIdStackSocketHandle pHandle);
    // The server handshake (EIdOSSLAcceptError).
    void Accept(TIdStackSocketHandle pHandle);
    // Writes the slice in as many calls as the library needs: the count, 0 when the
    // peer closed, or a negative result on any other failure.
    std::int32_t Send(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength);
    // Reads up to the buffer's length: the count, 0 when the peer closed, or a
    // negative result on any other failure.
    std::int32_t Recv(TIdBytes& ABuffer);
    // Bytes already decrypted and waiting in the library: the socket shows none of
    // them.
    std::int32_t Pending() const;

    TIdBytes GetSessionID() const;
    // Two-digit lower-case hexadecimal bytes.
    String GetSessionIDAsString() const;
    // Raises EIdOSSLSettingCipherError "SetCipher failed." when the library refuses it.
    void SetCipherList(const String& CipherList);

    // Created on demand; none before the handshake.
    TIdX509* PeerCert();
    TIdSSLCipher* Cipher();

    // How the last failed call ended, in the 1.0 reading: the error kind
    // (SSL_ERROR_...) and, for a failed system call, the system's error number (errno,
    // WSAGetLastError on Windows).
    std::int32_t LastErrorKind() const { return FLastErrorKind; }
    int LastSystemError() const { return FLastSystemError; }

private:
    struct TOutcome {
        std::int32_t Kind;
        std::int32_t Result;
    };
    // Runs one library call until it ends: a retry that the socket asked for is made
    // again, the time-out's is not. Records and returns how it ended.
    template <class Call>
    TOutcome Run(Call call);
    // The kind for a call's result, in the 1.0 reading described above.
    TOutcome QueryErrorKind(std::int32_t ARetCode, int AErrno);
    // What a failed read or write hands to the I/O handler: 0 only for the peer's
    // closing alert (and a connection dropped without one), a negative result for
    // every other failure.
    static std::int32_t TransferFailure(TOutcome AOutcome);
    // A new connection object on the socket, with this object attached.
    void Bind(TIdStackSocketHandle pHandle);
    void CheckHostName();
    // Raises E with AMsg for a failed handshake.
    template <class E>
    [[noreturn]] void RaiseHandshakeError(TOutcome AOutcome, const String& AMsg);
    // What the certificate check found, as a line for the error ("" when it passed).
    String VerificationFailure() const;
    void ReportCipher();

    TIdSSLIOHandlerSocketOpenSSL* fParent;
    std::unique_ptr<TIdX509> fPeerCert;
    TIdSSLPtr fSSL;
    std::unique_ptr<TIdSSLCipher> fSSLCipher;
    TIdSSLContext* fSSLContext = nullptr;
    String FHostToCheck;
    bool FHandshakeDone = false;
    bool FFatalError = false;
    std::int32_t FLastErrorKind = SSL_ERROR_NONE;
    int FLastSystemError = 0;
};
