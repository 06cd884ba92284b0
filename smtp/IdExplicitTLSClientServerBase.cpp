#include "smtp/IdExplicitTLSClientServerBase.h"

#include "net/IdSSL.h"

namespace {

const String kNotAvailable = u"SSL is not available on this server.";
const String kNegotiationFailed = u"Start SSL negotiation command failed.";

} // namespace

void TIdExplicitTLSClient::InitializeDefaults()
{
    TIdTCPClientCustom::InitializeDefaults();
    FUseTLS = TIdUseTLS::utNoTLSSupport;
    FCapabilities.Clear();
}

TIdSSLIOHandlerSocketBase* TIdExplicitTLSClient::TLSIOHandler() const
{
    return dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler());
}

void TIdExplicitTLSClient::RequireTLSIOHandler() const
{
    if (!TLSIOHandler())
        EIdException::Toss<EIdTLSClientSSLIOHandlerRequred>(u"SSL IOHandler is required for this setting");
}

void TIdExplicitTLSClient::SetUseTLS(TIdUseTLS AValue)
{
    if (Connected())
        EIdException::Toss<EIdTLSClientCanNotSetWhileConnected>(
            u"This value can not be set while the client is connected.");
    if (IsLoading()) {
        FUseTLS = AValue;
        return;
    }
    if (AValue != TIdUseTLS::utNoTLSSupport)
        RequireTLSIOHandler();
    if (AValue != FUseTLS) {
        // Only the protocol's own ports move: a port the user chose stays.
        if (AValue == TIdUseTLS::utUseImplicitTLS) {
            if (Port() == FRegularPort)
                SetPort(FImplicitTLSPort);
        } else if (Port() == FImplicitTLSPort) {
            SetPort(FRegularPort);
        }
    }
    FUseTLS = AValue;
}

void TIdExplicitTLSClient::SetIOHandler(TIdIOHandler* AValue)
{
    TIdTCPClientCustom::SetIOHandler(AValue);
    if (!IsLoading() && FUseTLS != TIdUseTLS::utNoTLSSupport && !TLSIOHandler())
        SetUseTLS(TIdUseTLS::utNoTLSSupport);
}

void TIdExplicitTLSClient::Loaded()
{
    TIdTCPClientCustom::Loaded();
    if (FUseTLS != TIdUseTLS::utNoTLSSupport && !TLSIOHandler())
        SetUseTLS(TIdUseTLS::utNoTLSSupport);
}

// --- The upgrade and its failures -------------------------------------------------------

void TIdExplicitTLSClient::StartTLSHandshake()
{
    try {
        RequireTLSIOHandler();
        TLSIOHandler()->SetPassThrough(false);
    } catch (const std::exception&) {
        // The path raises its own exception, or the event chose to go on in plain
        // text, which makes the handshake's failure moot.
        TLSHandShakeFailed();
    }
}

bool TIdExplicitTLSClient::AskToContinue(const TIdOnTLSNegotiationFailure& AEvent, bool AContinue)
{
    if (AEvent)
        AEvent(this, AContinue);
    return AContinue;
}

void TIdExplicitTLSClient::TLSNotAvailable()
{
    if (FUseTLS == TIdUseTLS::utUseRequireTLS || !AskToContinue(OnTLSNotAvailable, true))
        EIdException::Toss<EIdTLSClientTLSNotAvailable>(kNegotiationFailed);
}

void TIdExplicitTLSClient::TLSNegCmdFailed()
{
    if (FUseTLS == TIdUseTLS::utUseRequireTLS)
        EIdException::Toss<EIdTLSClientTLSNotAvailable>(kNotAvailable);
    if (!AskToContinue(OnTLSNegCmdFailed, false))
        EIdException::Toss<EIdTLSClientTLSNotAvailable>(kNegotiationFailed);
}

void TIdExplicitTLSClient::TLSHandShakeFailed()
{
    if (FUseTLS != TIdUseTLS::utUseRequireTLS && AskToContinue(OnTLSHandShakeFailed, false))
        return;
    // The stream is no longer a protocol dialogue: no goodbye. (A handler the
    // failure already closed is left alone.)
    Disconnect(false);
    EIdException::Toss<EIdTLSClientTLSHandShakeFailed>(kNotAvailable);
}
