// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
//
// The TLS server side: a listening server's handler takes the handshake after
// accepting a connection and hands each accepted connection a clone of itself and
// of its context. The program is only ever a TLS client (IdSSLIOHandlerSocketOpenSSL.cpp).

#include "net/IdSSLIOHandlerSocketOpenSSL.h"
#include "net/IdSSLOpenSSL.h"

void TIdSSLIOHandlerSocketOpenSSL::AfterAccept()
{
    try {
        StartSSL();
    } catch (...) {
        Close();
        throw;
    }
}

std::unique_ptr<TIdSSLIOHandlerSocketBase> TIdSSLIOHandlerSocketOpenSSL::Clone()
{
    auto clone = MakeComponent<TIdSSLIOHandlerSocketOpenSSL>();
    clone->SSLOptions().Assign(SSLOptions());
    clone->OnStatusInfo = [this](const String& AMsg) { DoStatusInfo(AMsg); };
    clone->OnGetPassword = [this](String& APassword) { DoGetPassword(APassword); };
    clone->OnVerifyPeer = [this](TIdX509* Certificate, bool AOk, std::int32_t ADepth, std::int32_t AError) {
        return DoVerifyPeer(Certificate, AOk, ADepth, AError);
    };
    clone->OnGetPasswordEx = OnGetPasswordEx;
    // Its handshake resumes this handler's session.
    clone->fSSLSocket = std::make_unique<TIdSSLSocket>(this);
    return clone;
}

std::unique_ptr<TIdSSLContext> TIdSSLContext::Clone() const
{
    auto clone = std::make_unique<TIdSSLContext>();
    clone->Parent = Parent;
    clone->fStatusInfoOn = fStatusInfoOn;
    clone->fVerifyOn = fVerifyOn;
    clone->fMethod = fMethod;
    clone->fSSLVersions = fSSLVersions;
    clone->fMode = fMode;
    clone->fsRootCertFile = fsRootCertFile;
    clone->fsCertFile = fsCertFile;
    clone->fsKeyFile = fsKeyFile;
    clone->fsDHParamsFile = fsDHParamsFile;
    clone->fVerifyDepth = fVerifyDepth;
    clone->fVerifyMode = fVerifyMode;
    clone->fVerifyDirs = fVerifyDirs;
    clone->fCipherList = fCipherList;
    return clone;
}
