#include "smtp/IdTCPClient.h"

#include "net/IdIOHandlerStack.h"
#include "smtp/IdIntercept.h"

void TIdTCPClientCustom::InitializeDefaults()
{
    TIdTCPConnection::InitializeDefaults();
    FBoundIP.clear();
    FBoundPort = 0;
    FBoundPortMax = 0;
    FBoundPortMin = 0;
    FConnectTimeout = 0;
    FDestination.clear();
    FHost.clear();
    FIPVersion = TIdIPVersion::Id_IPv4;
    FPassword.clear();
    FPort = 0;
    FReadTimeout = IdTimeoutDefault;
    FUsername.clear();
    FReuseSocket = TIdReuseSocket::rsOSDependent;
    FUseNagle = true;
}

// --- Settings, kept in step with the handler --------------------------------------------

void TIdTCPClientCustom::SetHost(const String& AValue)
{
    FHost = AValue;
    if (IOHandler())
        IOHandler()->SetHost(AValue);
}

void TIdTCPClientCustom::SetPort(TIdPort AValue)
{
    FPort = AValue;
    if (IOHandler())
        IOHandler()->SetPort(AValue);
}

void TIdTCPClientCustom::SetConnectTimeout(std::int32_t AValue)
{
    FConnectTimeout = AValue;
    if (IOHandler())
        IOHandler()->SetConnectTimeout(AValue);
}

std::int32_t TIdTCPClientCustom::ReadTimeout() const
{
    return IOHandler() ? IOHandler()->ReadTimeout() : FReadTimeout;
}

void TIdTCPClientCustom::SetReadTimeout(std::int32_t AValue)
{
    FReadTimeout = AValue;
    if (IOHandler())
        IOHandler()->SetReadTimeout(AValue);
}

void TIdTCPClientCustom::SetBoundIP(const String& AValue)
{
    FBoundIP = AValue;
    if (Socket())
        Socket()->SetBoundIP(AValue);
}

void TIdTCPClientCustom::SetBoundPort(TIdPort AValue)
{
    FBoundPort = AValue;
    if (Socket())
        Socket()->SetBoundPort(AValue);
}

void TIdTCPClientCustom::SetBoundPortMax(TIdPort AValue)
{
    FBoundPortMax = AValue;
    if (Socket())
        Socket()->SetBoundPortMax(AValue);
}

void TIdTCPClientCustom::SetBoundPortMin(TIdPort AValue)
{
    FBoundPortMin = AValue;
    if (Socket())
        Socket()->SetBoundPortMin(AValue);
}

void TIdTCPClientCustom::SetIPVersion(TIdIPVersion AValue)
{
    FIPVersion = AValue;
    if (Socket())
        Socket()->SetIPVersion(AValue);
}

TIdReuseSocket TIdTCPClientCustom::ReuseSocket() const
{
    return Socket() ? Socket()->ReuseSocket() : FReuseSocket;
}

void TIdTCPClientCustom::SetReuseSocket(TIdReuseSocket AValue)
{
    FReuseSocket = AValue;
    if (Socket())
        Socket()->SetReuseSocket(AValue);
}

bool TIdTCPClientCustom::UseNagle() const
{
    return Socket() ? Socket()->UseNagle() : FUseNagle;
}

void TIdTCPClientCustom::SetUseNagle(bool AValue)
{
    FUseNagle = AValue;
    if (Socket())
        Socket()->SetUseNagle(AValue);
}

void TIdTCPClientCustom::SetOnBeforeBind(const TNotifyEvent& AValue)
{
    FOnBeforeBind = AValue;
    if (Socket())
        Socket()->OnBeforeBind = AValue;
}

void TIdTCPClientCustom::SetOnAfterBind(const TNotifyEvent& AValue)
{
    FOnAfterBind = AValue;
    if (Socket())
        Socket()->OnAfterBind = AValue;
}

void TIdTCPClientCustom::SetOnSocketAllocated(const TNotifyEvent& AValue)
{
    FOnSocketAllocated = AValue;
    if (Socket())
        Socket()->OnSocketAllocated = AValue;
}

void TIdTCPClientCustom::SetIOHandler(TIdIOHandler* AValue)
{
    TIdTCPConnection::SetIOHandler(AValue);
    CopySettingsToIOHandler();
}

void TIdTCPClientCustom::CopySettingsToIOHandler()
{
    TIdIOHandler* io = IOHandler();
    if (!io)
        return;
    io->SetPort(FPort);
    io->SetHost(FHost);
    io->SetConnectTimeout(FConnectTimeout);
    io->SetReadTimeout(FReadTimeout);
    if (TIdIOHandlerSocket* socket = Socket()) {
        socket->SetBoundIP(FBoundIP);
        socket->SetBoundPort(FBoundPort);
        socket->SetBoundPortMin(FBoundPortMin);
        socket->SetBoundPortMax(FBoundPortMax);
        socket->SetIPVersion(FIPVersion);
        socket->SetReuseSocket(FReuseSocket);
        socket->SetUseNagle(FUseNagle);
        socket->OnBeforeBind = FOnBeforeBind;
        socket->OnAfterBind = FOnAfterBind;
        socket->OnSocketAllocated = FOnSocketAllocated;
    }
}

// --- Connecting ------------------------------------------------------------------------

TIdIOHandler& TIdTCPClientCustom::MakeClientIOHandler()
{
    // Naming the stack handler keeps its unit, and with it the registration of the
    // default class, in every program that has a client.
    if (!TIdIOHandlerStack::DefaultClassRegistered())
        TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>();
    return TIdIOHandler::MakeDefaultIOHandler(*this);
}

void TIdTCPClientCustom::Connect()
{
    if (Connected())
        EIdException::Toss<EIdAlreadyConnected>(u"Already connected.");
    if (FHost.empty())
        EIdException::Toss<EIdHostRequired>(String());
    if (FPort == 0)
        EIdException::Toss<EIdPortRequired>(String());
    if (!IOHandler()) {
        TIdIOHandler& handler = MakeClientIOHandler();
        handler.OnStatus = OnStatus;
        AttachManagedIOHandler(handler);
    }
    try {
        TIdIOHandler& io = *IOHandler();
        if (!FDestination.empty())
            io.SetDestination(FDestination);
        CopySettingsToIOHandler();
        io.Open();
        if (io.Intercept())
            io.Intercept()->Connect(this);
        ReportStatus(TIdStatus::hsConnected, {FHost});
        NotifyConnected();
    } catch (...) {
        if (TIdIOHandler* io = IOHandler()) {
            try {
                io->Close();
            } catch (...) {
                // The connect's own failure is the one to report.
            }
            if (ManagedIOHandler())
                SetIOHandler(nullptr);
        }
        throw;
    }
}

void TIdTCPClientCustom::Connect(const String& AHost)
{
    SetHost(AHost);
    Connect();
}

void TIdTCPClientCustom::Connect(const String& AHost, TIdPort APort)
{
    SetHost(AHost);
    SetPort(APort);
    Connect();
}

void TIdTCPClientCustom::ConnectAndGetAll()
{
    Connect();
    try {
        TIdIOHandler& io = *IOHandler();
        while (io.FillInputBuffer(false) > 0) {
        }
    } catch (...) {
        DisconnectAfterFailure(true);
        throw;
    }
    // The peer has closed: there is no one left to say goodbye to.
    Disconnect(false);
}

void TIdTCPClientCustom::NotifyConnected()
{
    if (OnConnected)
        OnConnected(this);
}
