#include "net/IdSSLIOHandlerSocketOpenSSL.h"

#include "net/IdSSLLibrary.h"
#include "net/IdStackErrors.h"

#include <utility>

namespace {

// Without a read time-out the handshake and every TLS read and write still end
// after this long when the peer says nothing.
constexpr std::int32_t kDefaultTlsTimeout = 30000;

// What a TLS call that failed in the operating system raises: the socket stack's
// error with its 100xx code, like every other socket failure of the library. Without
// a stack (no component of the library exists) the binding raises the system's error
// number as it is.
void RaiseLastSocketErrorThroughStack()
{
    const int error = TlsSystemSocketError();
    const bool haveStack = TIdStack::UsageCount() > 0;
    SetTlsSystemSocketError(error);
    if (haveStack)
        GStack().RaiseLastSocketError();
}

// Set while the program starts: the class joins the handler registry (the default
// class stays the plain socket handler), and the binding reports socket errors
// through the stack.
const bool gClassRegistered = [] {
    TIdIOHandler::RegisterIOHandler<TIdSSLIOHandlerSocketOpenSSL>();
    SetTlsRaiseLastSocketError(RaiseLastSocketErrorThroughStack);
    return true;
}();

} // namespace

String HostOfURI(const String& AURI)
{
    StringView rest = AURI;
    if (const std::size_t scheme = rest.find(u"://"); scheme != StringView::npos)
        rest.remove_prefix(scheme + 3);
    rest = rest.substr(0, rest.find_first_of(u"/?#"));
    if (const std::size_t at = rest.rfind(u'@'); at != StringView::npos)
        rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == u'[') // an IPv6 address, RFC 3986 3.2.2
        return String(rest.substr(1, rest.find(u']') - 1));
    // One colon separates the port; more belong to an IPv6 address written bare.
    if (const std::size_t colon = rest.find(u':');
        colon != StringView::npos && rest.find(u':', colon + 1) == StringView::npos)
        rest = rest.substr(0, colon);
    return String(rest);
}

bool TIdSSLIOHandlerSocketOpenSSL::ClassRegistered()
{
    return gClassRegistered;
}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL()
{
    // The closing alert goes out while the socket is still open.
    fSSLSocket.reset();
    fSSLContext.reset();
}

void TIdSSLIOHandlerSocketOpenSSL::InitializeDefaults()
{
    TIdSSLIOHandlerSocketBase::InitializeDefaults();
    fxSSLOptions = std::make_unique<TIdSSLOptions>();
    fSSLContext.reset();
}

String TIdSSLIOHandlerSocketOpenSSL::HostToCheck() const
{
    return URIToCheck().empty() ? Host() : HostOfURI(URIToCheck());
}

// --- Opening, connecting, closing ------------------------------------------------------

void TIdSSLIOHandlerSocketOpenSSL::Open()
{
    // What is left of a connection that was not closed goes; a TLS socket without a
    // connection object yet (a clone's) stays.
    if (fSSLSocket && fSSLSocket->SSLHandle() != nullptr)
        fSSLSocket.reset();
    if (!IsPeer())
        fSSLContext.reset();
    FPendingTlsError = nullptr;
    TIdSSLIOHandlerSocketBase::Open();
}

void TIdSSLIOHandlerSocketOpenSSL::Close()
{
    fSSLSocket.reset();
    if (!IsPeer())
        fSSLContext.reset();
    TIdSSLIOHandlerSocketBase::Close();
}

void TIdSSLIOHandlerSocketOpenSSL::EstablishConnection()
{
    // Nothing of the TCP connect goes through TLS.
    const bool passThrough = PassThrough();
    StorePassThrough(true);
    try {
        TIdSSLIOHandlerSocketBase::EstablishConnection();
    } catch (...) {
        StorePassThrough(passThrough);
        throw;
    }
    StorePassThrough(passThrough);
    DoBeforeConnect();
    StartSSL();
}

void TIdSSLIOHandlerSocketOpenSSL::StartSSL()
{
    try {
        PrepareContext();
    } catch (const EIdOSSLCouldNotLoadSSLLibrary&) {
        // A plain connection can go on without the library; switching it to TLS later
        // fails then.
        if (!PassThrough())
            throw;
    }
    if (!PassThrough())
        StartEncryptedSession();
}

void TIdSSLIOHandlerSocketOpenSSL::PrepareContext()
{
    if (fSSLContext)
        return;
    // Kept only once built, so that a failed build is not taken for a usable context.
    auto context = std::make_unique<TIdSSLContext>();
    context->Parent = this;
    const TIdSSLOptions& options = SSLOptions();
    context->SetRootCertFile(options.RootCertFile());
    context->SetCertFile(options.CertFile());
    context->SetKeyFile(options.KeyFile());
    context->SetDHParamsFile(options.DHParamsFile());
    context->SetVerifyDepth(options.VerifyDepth());
    context->SetVerifyMode(options.VerifyMode());
    context->SetVerifyDirs(options.VerifyDirs());
    context->SetCipherList(options.CipherList());
    context->SetVerifyOn(static_cast<bool>(OnVerifyPeer));
    context->SetStatusInfoOn(OnStatusInfo || OnStatusInfoEx);
    context->SetMethod(options.Method());
    context->SetSSLVersions(options.SSLVersions());
    context->SetMode(options.Mode());
    context->BuildContext(TIdSSLCtxMode::sslCtxClient);
    fSSLContext = std::move(context);
}

void TIdSSLIOHandlerSocketOpenSSL::StartEncryptedSession()
{
    if (!fSSLSocket)
        fSSLSocket = std::make_unique<TIdSSLSocket>(this);
    fSSLSocket->SetSSLContext(fSSLContext.get());
    const bool verify = fSSLContext && !fSSLContext->VerifyMode().IsEmpty();
    fSSLSocket->SetHostToCheck(verify ? HostToCheck() : String());
    SetSocketTimeouts(ReadTimeout() > 0 ? ReadTimeout() : kDefaultTlsTimeout);
    // What came in plain text and was not read yet would otherwise be read as if it
    // had come through TLS: a man in the middle could add it after the answer to
    // the upgrade command.
    InputBuffer().Clear();
    const TIdStackSocketHandle handle = Binding()->Handle();
    if (IsPeer())
        fSSLSocket->Accept(handle);
    else
        fSSLSocket->Connect(handle);
    StorePassThrough(false);
}

void TIdSSLIOHandlerSocketOpenSSL::SetSocketTimeouts(std::int32_t AMSec)
{
    if (!HasSource())
        return;
    Binding()->SetSockOpt(Id_SOL_SOCKET, Id_SO_RCVTIMEO, AMSec);
    Binding()->SetSockOpt(Id_SOL_SOCKET, Id_SO_SNDTIMEO, AMSec);
}

void TIdSSLIOHandlerSocketOpenSSL::SetPassThrough(bool AValue)
{
    if (AValue == PassThrough())
        return;
    if (AValue) {
        SetSocketTimeouts(0);
    } else if (HasSource()) {
        if (!fSSLContext)
            EIdException::Toss<EIdOSSLCouldNotLoadSSLLibrary>(u"Could not load SSL library.");
        StartEncryptedSession();
    }
    StorePassThrough(AValue);
}

// --- Transfer --------------------------------------------------------------------------

bool TIdSSLIOHandlerSocketOpenSSL::Readable(std::int32_t AMSec)
{
    if (!PassThrough() && fSSLSocket && fSSLSocket->Pending() > 0)
        return true;
    return TIdSSLIOHandlerSocketBase::Readable(AMSec);
}

std::int32_t TIdSSLIOHandlerSocketOpenSSL::ReceiveEncrypted(TIdBytes& VBuffer)
{
    return fSSLSocket ? fSSLSocket->Recv(VBuffer) : 0;
}

std::int32_t TIdSSLIOHandlerSocketOpenSSL::SendEncrypted(const TIdBytes& ABuffer, std::int32_t AOffset,
                                                         std::int32_t ALength)
{
    return fSSLSocket ? fSSLSocket->Send(ABuffer, AOffset, ALength) : 0;
}

std::int32_t TIdSSLIOHandlerSocketOpenSSL::TranslateTransportError(std::int32_t ALastResult)
{
    if (PassThrough() || !fSSLSocket)
        return TIdSSLIOHandlerSocketBase::TranslateTransportError(ALastResult);
    FPendingTlsError = nullptr;
    const std::int32_t kind = fSSLSocket->LastErrorKind();
    if (kind == SSL_ERROR_NONE)
        return 0;
    if (kind == SSL_ERROR_SYSCALL) {
        GStack().WSSetLastError(TlsSocketErrorCode(fSSLSocket->LastSystemError()));
        return TIdSSLIOHandlerSocketBase::TranslateTransportError(Id_SOCKET_ERROR);
    }
    try {
        RaiseExceptionCode<EIdOpenSSLAPISSLError>(kind, ALastResult, String());
    } catch (...) {
        FPendingTlsError = std::current_exception();
    }
    return kind;
}

void TIdSSLIOHandlerSocketOpenSSL::RaiseTransportError(std::int32_t AError)
{
    if (FPendingTlsError)
        std::rethrow_exception(std::exchange(FPendingTlsError, nullptr));
    TIdSSLIOHandlerSocketBase::RaiseTransportError(AError);
}

// --- Events ----------------------------------------------------------------------------

void TIdSSLIOHandlerSocketOpenSSL::DoBeforeConnect()
{
    if (OnBeforeConnect)
        OnBeforeConnect(this);
}

void TIdSSLIOHandlerSocketOpenSSL::DoStatusInfo(const String& AMsg)
{
    if (OnStatusInfo)
        OnStatusInfo(AMsg);
}

void TIdSSLIOHandlerSocketOpenSSL::DoStatusInfoEx(const SSL* AsslSocket, std::int32_t AWhere, std::int32_t Aret,
                                                  const String& AType, const String& AMsg)
{
    if (OnStatusInfoEx)
        OnStatusInfoEx(this, AsslSocket, AWhere, Aret, AType, AMsg);
}

void TIdSSLIOHandlerSocketOpenSSL::DoGetPassword(String& APassword)
{
    if (OnGetPassword)
        OnGetPassword(APassword);
}

void TIdSSLIOHandlerSocketOpenSSL::DoGetPasswordEx(String& VPassword, bool AIsWrite)
{
    if (OnGetPasswordEx)
        OnGetPasswordEx(this, VPassword, AIsWrite);
}

bool TIdSSLIOHandlerSocketOpenSSL::DoVerifyPeer(TIdX509* Certificate, bool AOk, std::int32_t ADepth,
                                                std::int32_t AError)
{
    return OnVerifyPeer ? OnVerifyPeer(Certificate, AOk, ADepth, AError) : AOk;
}
