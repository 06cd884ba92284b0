#include "net/IdIOHandlerSocket.h"

#include <limits>

namespace {

constexpr std::size_t kMaxPortTextLength = 255;

} // namespace

TIdIOHandlerSocket::~TIdIOHandlerSocket()
{
    // The binding closes its socket; the base class then closes the handler.
    FBinding.reset();
}

void TIdIOHandlerSocket::InitializeDefaults()
{
    TIdIOHandler::InitializeDefaults();
    FBoundIP.clear();
    FBoundPort = 0;
    FBoundPortMax = 0;
    FBoundPortMin = 0;
    FDefaultPort = 0;
    FUseNagle = true;
    FReuseSocket = TIdReuseSocket::rsOSDependent;
    FIPVersion = TIdIPVersion::Id_IPv4;
}

TIdReuseSocket TIdIOHandlerSocket::ReuseSocket() const
{
    return FBinding ? FBinding->ReuseSocket() : FReuseSocket;
}

void TIdIOHandlerSocket::SetReuseSocket(TIdReuseSocket AValue)
{
    FReuseSocket = AValue;
    if (FBinding)
        FBinding->SetReuseSocket(AValue);
}

bool TIdIOHandlerSocket::UseNagle() const
{
    return FBinding ? FBinding->UseNagle() : FUseNagle;
}

void TIdIOHandlerSocket::SetUseNagle(bool AValue)
{
    FUseNagle = AValue;
    if (FBinding)
        FBinding->SetUseNagle(AValue);
}

String TIdIOHandlerSocket::Destination() const
{
    if (Port() > 0 && Port() != FDefaultPort)
        return Host() + u":" + IntToStr(Port());
    return Host();
}

void TIdIOHandlerSocket::SetDestination(const String& AValue)
{
    // The last ":" separates the port, so an IPv6 address keeps its own colons.
    const std::size_t colon = AValue.rfind(u':');
    if (colon == String::npos)
        return;
    SetHost(AValue.substr(0, colon));
    const int port = StrToIntDef(Trim(StringView(AValue).substr(colon + 1, kMaxPortTextLength)), -1);
    // A number that is no port would reach some other port once cut to 16 bits.
    const bool isPort = port >= 0 && port <= std::numeric_limits<TIdPort>::max();
    SetPort(isPort ? port : FDefaultPort);
}

void TIdIOHandlerSocket::Open()
{
    TIdIOHandler::Open();
    if (!FBinding) {
        FBinding = std::make_unique<TIdSocketHandle>();
    } else {
        // A reset forgets the socket without closing it; an Open without Close in
        // between must not leak it.
        FBinding->CloseSocket();
        FBinding->Reset(true);
    }
    FBinding->SetClientPortMin(FBoundPortMin);
    FBinding->SetClientPortMax(FBoundPortMax);
    if (!Host().empty() && Port() > 0)
        EstablishConnection();
}

void TIdIOHandlerSocket::Close()
{
    if (FBinding)
        FBinding->CloseSocket();
    TIdIOHandler::Close();
}

void TIdIOHandlerSocket::EstablishConnection()
{
    DoBeforeBind();
    FBinding->SetIPVersion(FIPVersion);
    FBinding->AllocateSocket(Id_SOCK_STREAM, 0);
    DoSocketAllocated();
    if (!FBoundIP.empty())
        FBinding->SetIP(FBoundIP);
    FBinding->SetPort(FBoundPort);
    FBinding->SetClientPortMin(FBoundPortMin);
    FBinding->SetClientPortMax(FBoundPortMax);
    FBinding->SetReuseSocket(FReuseSocket);
    // A client socket is always bound first; by default to any local address and a
    // port the system chooses.
    FBinding->Bind();
    FBinding->SetUseNagle(FUseNagle);
    DoAfterBind();
}

void TIdIOHandlerSocket::DoBeforeBind()
{
    if (OnBeforeBind)
        OnBeforeBind(this);
}

void TIdIOHandlerSocket::DoAfterBind()
{
    if (OnAfterBind)
        OnAfterBind(this);
}

void TIdIOHandlerSocket::DoSocketAllocated()
{
    if (OnSocketAllocated)
        OnSocketAllocated(this);
}
