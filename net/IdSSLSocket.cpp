#include "net/IdSSLSocket.h"

#include "net/IdIPAddress.h"
#include "net/IdSSLIOHandlerSocketOpenSSL.h"
#include "net/IdSSLLibrary.h"

#include <string>

namespace {

bool IsUnexpectedEof(unsigned long code)
{
    return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

} // namespace

// --- TIdSSLCipher ------------------------------------------------------------------

const SSL_CIPHER* TIdSSLCipher::Current() const
{
    SSL* ssl = FSSLSocket != nullptr ? FSSLSocket->SSLHandle() : nullptr;
    return ssl != nullptr ? GOpenSSL.SSL_get_current_cipher(ssl) : nullptr;
}

String TIdSSLCipher::Name() const
{
    const SSL_CIPHER* cipher = Current();
    return cipher != nullptr ? FromUtf8(GOpenSSL.SSL_CIPHER_get_name(cipher)) : String();
}

String TIdSSLCipher::Description() const
{
    const SSL_CIPHER* cipher = Current();
    if (cipher == nullptr)
        return {};
    char buffer[1024] = {};
    GOpenSSL.SSL_CIPHER_description(cipher, buffer, sizeof buffer);
    // The library ends the text with a line end, as for a list of ciphers.
    return TrimRight(FromUtf8(buffer));
}

std::int32_t TIdSSLCipher::Bits() const
{
    const SSL_CIPHER* cipher = Current();
    return cipher != nullptr ? GOpenSSL.SSL_CIPHER_get_bits(cipher, nullptr) : 0;
}

String TIdSSLCipher::Version() const
{
    const SSL_CIPHER* cipher = Current();
    return cipher != nullptr ? FromUtf8(GOpenSSL.SSL_CIPHER_get_version(cipher)) : String();
}

// --- TIdSSLSocket ------------------------------------------------------------------

TIdSSLSocket::~TIdSSLSocket()
{
    if (!fSSL)
        return;
    const int savedError = TlsSystemSocketError();
    SSL_CTX* context = fSSLContext != nullptr ? fSSLContext->Context() : nullptr;
    if (context != nullptr && fSSLContext->StatusInfoOn() && GOpenSSL.SSL_CTX_set_info_callback != nullptr)
        GOpenSSL.SSL_CTX_set_info_callback(context, nullptr);
    // One call: the alert is sent and the peer's is not waited for.
    if (FHandshakeDone && !FFatalError && GOpenSSL.SSL_shutdown != nullptr) {
        GOpenSSL.ERR_clear_error();
        GOpenSSL.SSL_shutdown(fSSL.get());
        GOpenSSL.ERR_clear_error(); // a peer already gone is no error of anyone's now
    }
    SetTlsSystemSocketError(savedError);
}

TIdSSLSocket::TOutcome TIdSSLSocket::QueryErrorKind(std::int32_t ARetCode, int AErrno)
{
    std::int32_t kind = GOpenSSL.SSL_get_error(fSSL.get(), ARetCode);
    if ((kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) && TlsSystemSocketErrorIsTimeout(AErrno)) {
        // The socket is blocking: only its time-out option ends a wait this way.
        kind = SSL_ERROR_SYSCALL;
        ARetCode = -1;
    } else if (kind == SSL_ERROR_SSL && IsUnexpectedEof(GOpenSSL.ERR_peek_error())) {
        GOpenSSL.ERR_clear_error();
        kind = SSL_ERROR_SYSCALL;
        ARetCode = 0;
        AErrno = 0;
    }
    if (kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_SSL)
        FFatalError = true;
    FLastErrorKind = kind;
    FLastSystemError = kind == SSL_ERROR_SYSCALL ? AErrno : 0;
    return {kind, ARetCode};
}

template <class Call>
TIdSSLSocket::TOutcome TIdSSLSocket::Run(Call call)
{
    for (;;) {
        // The error kind is only reliable when the thread's queue starts out empty.
        GOpenSSL.ERR_clear_error();
        SetTlsSystemSocketError(0);
        const int result = call();
        const int error = TlsSystemSocketError();
        if (result > 0)
            return {SSL_ERROR_NONE, result};
        const TOutcome outcome = QueryErrorKind(result, error);
        if (outcome.Kind != SSL_ERROR_WANT_READ && outcome.Kind != SSL_ERROR_WANT_WRITE)
            return outcome;
    }
}

void TIdSSLSocket::Bind(TIdStackSocketHandle pHandle)
{
    fSSLCipher.reset();
    fPeerCert.reset();
    fSSL.reset();
    FHandshakeDone = false;
    FFatalError = false;
    FLastErrorKind = SSL_ERROR_NONE;
    FLastSystemError = 0;

    GOpenSSL.ERR_clear_error();
    SSL_CTX* context = fSSLContext != nullptr ? fSSLContext->Context() : nullptr;
    if (context != nullptr)
        fSSL.reset(GOpenSSL.SSL_new(context));
    if (!fSSL)
        EIdException::Toss<EIdOSSLCreatingSessionError>(u"Error creating SSL session.");
    if (const int result = GOpenSSL.SSL_set_ex_data(fSSL.get(), 0, this); result <= 0)
        RaiseException<EIdOSSLDataBindingError>(fSSL.get(), result, u"Error binding data to SSL socket.");
    // A Windows SOCKET is 64 bits wide but its value fits an int, which is what the
    // library's own socket calls take it back to.
    if (const int result = GOpenSSL.SSL_set_fd(fSSL.get(), static_cast<int>(pHandle)); result <= 0)
        RaiseException<EIdOSSLFDSetError>(fSSL.get(), result, u"Error setting File Descriptor for SSL");
}

void TIdSSLSocket::CheckHostName()
{
    if (FHostToCheck.empty())
        return;
    const std::string host = ToUtf8(FHostToCheck);
    // An address is matched against the certificate's IP entries, a name against its
    // DNS names (the library tells the two apart itself).
    const bool hostSet = host.find('\0') == std::string::npos && GOpenSSL.SSL_set1_host(fSSL.get(), host.c_str()) == 1;
    if (!hostSet) {
        GOpenSSL.ERR_clear_error();
        throw EIdOSSLConnectError(SSL_ERROR_NONE, 0,
                                  Format(u"Error connecting with SSL.\r\nThe host name \"%s\" cannot be checked "
                                         u"against the server's certificate.",
                                         {FHostToCheck}));
    }
    // A name the library cannot send still gets checked; without the name the server
    // may only show another certificate, which the check then refuses. A host given as
    // an address is checked as an address, and never sent as a server name: RFC 6066
    // section 3 allows only host names there.
    if (!IsIPAddressText(host))
        GOpenSSL.SSL_ctrl(fSSL.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                          const_cast<char*>(host.c_str()));
    GOpenSSL.ERR_clear_error();
}

String TIdSSLSocket::VerificationFailure() const
{
    if (fSSLContext == nullptr || fSSLContext->VerifyMode().IsEmpty())
        return {};
    const long result = GOpenSSL.SSL_get_verify_result(fSSL.get());
    if (result == X509_V_OK)
        return {};
    const String reason = FromUtf8(GOpenSSL.X509_verify_cert_error_string(result));
    if (FHostToCheck.empty())
        return Format(u"The server's certificate was not accepted: %s.", {reason});
    if (result == X509_V_ERR_HOSTNAME_MISMATCH || result == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return Format(u"The server's certificate is not valid for \"%s\": %s.", {FHostToCheck, reason});
    return Format(u"The server's certificate for \"%s\" was not accepted: %s.", {FHostToCheck, reason});
}

template <class E>
[[noreturn]] void TIdSSLSocket::RaiseHandshakeError(TOutcome AOutcome, const String& AMsg)
{
    if (AOutcome.Kind == SSL_ERROR_SSL) {
        // The library only says "certificate verify failed"; the user needs to know
        // which host and why.
        if (const String failure = VerificationFailure(); !failure.empty()) {
            const std::uint32_t code = TlsTakeError();
            throw EIdOSSLUnderlyingCryptoError(code, AMsg + u"\r\n" + TlsErrorText(code) + u"\r\n" + failure);
        }
    }
    SetTlsSystemSocketError(FLastSystemError); // a failed system call is raised from it
    RaiseExceptionCode<E>(AOutcome.Kind, AOutcome.Result, AMsg);
}

void TIdSSLSocket::Connect(TIdStackSocketHandle pHandle)
{
    Bind(pHandle);
    CheckHostName();
    // A clone made for an accepted connection resumes its parent's session; a
    // handler's own socket never finds another one here.
    if (TIdSSLSocket* sibling = fParent != nullptr ? fParent->SSLSocket() : nullptr;
        sibling != nullptr && sibling != this && sibling->SSLHandle() != nullptr) {
        if (SSL_SESSION* session = GOpenSSL.SSL_get_session(sibling->SSLHandle()); session != nullptr)
            GOpenSSL.SSL_set_session(fSSL.get(), session);
    }
    const TOutcome outcome = Run([this] { return GOpenSSL.SSL_connect(fSSL.get()); });
    if (outcome.Kind != SSL_ERROR_NONE)
        RaiseHandshakeError<EIdOSSLConnectError>(outcome, u"Error connecting with SSL.");
    FHandshakeDone = true;
    ReportCipher();
}

// --- Wider surface of the library, kept for completeness: the server's handshake. -----------
// No road of the program reaches it (the program is only a TLS client).

void TIdSSLSocket::Accept(TIdStackSocketHandle pHandle)
{
    Bind(pHandle);
    const TOutcome outcome = Run([this] { return GOpenSSL.SSL_accept(fSSL.get()); });
    if (outcome.Kind != SSL_ERROR_NONE)
        RaiseHandshakeError<EIdOSSLAcceptError>(outcome, u"Error accepting connection with SSL.");
    FHandshakeDone = true;
    ReportCipher();
}

void TIdSSLSocket::ReportCipher()
{
    if (fParent == nullptr)
        return;
    const TIdSSLCipher& cipher = *Cipher();
    fParent->DoStatusInfo(u"Cipher: name = " + cipher.Name() + u"; description = " + cipher.Description()
                          + u"; bits = " + IntToStr(cipher.Bits()) + u"; version = " + cipher.Version() + u"; ");
}

std::int32_t TIdSSLSocket::Recv(TIdBytes& ABuffer)
{
    if (!fSSL || ABuffer.empty())
        return 0;
    const int length = static_cast<int>(ABuffer.size());
    const TOutcome outcome = Run([&] { return GOpenSSL.SSL_read(fSSL.get(), ABuffer.data(), length); });
    return outcome.Kind == SSL_ERROR_NONE ? outcome.Result : TransferFailure(outcome);
}

std::int32_t TIdSSLSocket::Send(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength)
{
    if (!fSSL)
        return 0;
    // Each slice goes to the library as it is: one record per call up to the
    // library's record size, and no copying here.
    std::int32_t total = 0;
    while (total < ALength) {
        const std::uint8_t* slice = ABuffer.data() + AOffset + total;
        const int length = ALength - total;
        const TOutcome outcome = Run([&] { return GOpenSSL.SSL_write(fSSL.get(), slice, length); });
        if (outcome.Kind != SSL_ERROR_NONE)
            return TransferFailure(outcome); // what was written before is lost with the connection
        total += outcome.Result;
    }
    return total;
}

std::int32_t TIdSSLSocket::TransferFailure(TOutcome AOutcome)
{
    if (AOutcome.Kind == SSL_ERROR_ZERO_RETURN) // the peer's closing alert
        return 0;
    // The 3.x library ends a call that met a fatal alert from the peer (or any other
    // protocol failure) with 0 as well; the I/O handler takes 0 for an orderly
    // close, and a forged or broken record must not pass for the end of the talk.
    if (AOutcome.Kind == SSL_ERROR_SSL && AOutcome.Result == 0)
        return -1;
    return AOutcome.Result;
}

std::int32_t TIdSSLSocket::Pending() const
{
    return fSSL ? GOpenSSL.SSL_pending(fSSL.get()) : 0;
}

TIdBytes TIdSSLSocket::GetSessionID() const
{
    SSL_SESSION* session = fSSL ? GOpenSSL.SSL_get_session(fSSL.get()) : nullptr;
    if (session == nullptr)
        return {};
    unsigned int length = 0;
    const unsigned char* id = GOpenSSL.SSL_SESSION_get_id(session, &length);
    return id != nullptr ? TIdBytes(id, id + length) : TIdBytes();
}

String TIdSSLSocket::GetSessionIDAsString() const
{
    return BytesToHex(GetSessionID());
}

void TIdSSLSocket::SetCipherList(const String& CipherList)
{
    if (!fSSL)
        return;
    const TIdBytes bytes = ToBytesRaw(CipherList);
    const std::string list(bytes.begin(), bytes.end());
    if (GOpenSSL.SSL_set_cipher_list(fSSL.get(), list.c_str()) <= 0) {
        GOpenSSL.ERR_clear_error();
        EIdException::Toss<EIdOSSLSettingCipherError>(u"SetCipher failed.");
    }
}

TIdX509* TIdSSLSocket::PeerCert()
{
    if (!fPeerCert && fSSL) {
        const TIdX509Ptr certificate(GOpenSSL.SSL_get1_peer_certificate(fSSL.get()));
        if (certificate)
            fPeerCert = std::make_unique<TIdX509>(certificate.get());
    }
    return fPeerCert.get();
}

TIdSSLCipher* TIdSSLSocket::Cipher()
{
    if (!fSSLCipher)
        fSSLCipher = std::make_unique<TIdSSLCipher>(this);
    return fSSLCipher.get();
}
