#include "net/IdSocketHandle.h"

#include "smtp/IdAntiFreezeBase.h"
#include "smtp/IdExceptionCore.h"
#include "smtp/IdIOHandler.h"

#include <algorithm>

TIdSocketHandle::TIdSocketHandle(TCollection* ACollection)
    : TCollectionItem(ACollection)
{
    // The binding works through the shared stack on its own, whoever owns it.
    TIdStack::IncUsage();
    FReadSocketList = TIdSocketList::CreateSocketList();
    Reset(true);
}

TIdSocketHandle::~TIdSocketHandle()
{
    try {
        CloseSocket();
    } catch (...) {
        // Closing ignores the system's answers; nothing else can fail here, and a
        // destructor must not throw.
    }
    FReadSocketList.reset();
    TIdStack::DecUsage();
}

void TIdSocketHandle::Assign(const TIdSocketHandle& ASource)
{
    if (&ASource == this)
        return;
    SetIP(ASource.FIP);
    SetPort(ASource.FPort);
    SetClientPortMin(ASource.FClientPortMin);
    SetClientPortMax(ASource.FClientPortMax);
    SetIPVersion(ASource.FIPVersion);
    SetReuseSocket(ASource.FReuseSocket);
    SetUseNagle(ASource.FUseNagle);
    SetBroadcastEnabled(ASource.FBroadcastEnabled);
    SetOverLapped(ASource.FOverLapped);
}

// --- Socket lifetime -------------------------------------------------------------------

void TIdSocketHandle::AllocateSocket(int ASocketType, int AProtocol)
{
    CloseSocket();
    SetHandle(GStack().NewSocketHandle(ASocketType, AProtocol, FIPVersion, FOverLapped));
}

void TIdSocketHandle::SetHandle(TIdStackSocketHandle AHandle)
{
    if (FHandle != Id_INVALID_SOCKET)
        FReadSocketList->Remove(FHandle);
    FHandle = AHandle;
    FHandleAllocated = AHandle != Id_INVALID_SOCKET;
    if (!FHandleAllocated) {
        FSocketType = 0;
        return;
    }
    FReadSocketList->Add(FHandle);
    GetSockOpt(Id_SOL_SOCKET, Id_SO_TYPE, FSocketType);
    if (FSocketType == Id_SOCK_STREAM) {
        std::int32_t noDelay = 0;
        GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY, noDelay);
        FUseNagle = noDelay == 0;
    }
}

void TIdSocketHandle::CloseSocket()
{
    if (!FHandleAllocated)
        return;
    std::lock_guard<std::mutex> lock(FConnectionHandle);
    FHandleAllocated = false;
    GStack().Disconnect(FHandle);
    SetHandle(Id_INVALID_SOCKET);
}

void TIdSocketHandle::Reset(bool AResetLocal)
{
    SetHandle(Id_INVALID_SOCKET);
    FPeerIP.clear();
    FPeerPort = 0;
    FIPVersion = TIdIPVersion::Id_IPv4;
    if (AResetLocal) {
        FIP.clear();
        FPort = 0;
    }
}

void TIdSocketHandle::SetIPVersion(TIdIPVersion AValue)
{
    if (AValue == FIPVersion)
        return;
    if (FHandleAllocated)
        EIdException::Toss<EIdCannotSetIPVersionWhenConnected>(u"Cannot change IPVersion when connected");
    FIPVersion = AValue;
}

void TIdSocketHandle::SetUseNagle(bool AValue)
{
    if (FHandleAllocated && FSocketType == Id_SOCK_STREAM && AValue != FUseNagle)
        SetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY, AValue ? 0 : 1);
    FUseNagle = AValue;
}

// --- Addresses and connecting ----------------------------------------------------------

void TIdSocketHandle::Bind()
{
    SetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR, FReuseSocket == TIdReuseSocket::rsTrue ? 1 : 0);
    if (FPort == 0 && FClientPortMin != 0 && FClientPortMax != 0) {
        FPort = GStack().BindPortRange(FHandle, FIP, FClientPortMin, FClientPortMax, FIPVersion);
        UpdateBindingLocal();
        return;
    }
    if (!TryBind(FPort))
        EIdException::Toss<EIdCouldNotBindSocket>(u"Could not bind socket. Address and port are already in use.");
}

bool TIdSocketHandle::TryBind(TIdPort APort)
{
    try {
        GStack().Bind(FHandle, FIP, APort, FIPVersion);
        UpdateBindingLocal();
        return true;
    } catch (const EIdException&) {
        // The caller reports the failure in its own words.
        return false;
    }
}

void TIdSocketHandle::Connect()
{
    TIdStackSocketHandle handle;
    {
        std::lock_guard<std::mutex> lock(FConnectionHandle);
        handle = FHandle;
    }
    GStack().Connect(handle, FPeerIP, FPeerPort, FIPVersion);
    std::lock_guard<std::mutex> lock(FConnectionHandle);
    if (FHandleAllocated) {
        UpdateBindingLocal();
        UpdateBindingPeer();
    }
}

void TIdSocketHandle::AbortConnect()
{
    std::lock_guard<std::mutex> lock(FConnectionHandle);
    if (!FHandleAllocated)
        return;
    try {
        GStack().WSShutdownHandle(FHandle, Id_SD_Both);
    } catch (const EIdSocketError&) {
        // A socket whose connect has not begun yet answers "not connected"; the
        // caller repeats the abort until the connect has ended.
    }
}

void TIdSocketHandle::SetPeer(const String& AIP, TIdPort APort, TIdIPVersion AIPVersion)
{
    FPeerIP = AIP;
    FPeerPort = APort;
    FIPVersion = AIPVersion;
}

void TIdSocketHandle::UpdateBindingLocal()
{
    GStack().GetSocketName(FHandle, FIP, FPort, FIPVersion);
}

void TIdSocketHandle::UpdateBindingPeer()
{
    GStack().GetPeerName(FHandle, FPeerIP, FPeerPort, FIPVersion);
}

// --- Data ------------------------------------------------------------------------------

bool TIdSocketHandle::Readable(std::int32_t AMSec)
{
    if (AMSec < 0)
        AMSec = IdWaitWithoutLimit;
    const auto check = [this](std::int32_t timeout) {
        if (!FHandleAllocated)
            TIdIOHandler::RaiseConnectionClosed();
        return Select(timeout);
    };
    if (!TIdAntiFreezeBase::ShouldUse())
        return check(AMSec);
    // The user interface gets a turn after every slice of the wait.
    const std::int32_t slice = std::max<std::int32_t>(TIdAntiFreezeBase::Instance()->IdleTimeOut(), 1);
    if (AMSec == IdWaitWithoutLimit) {
        while (!check(slice)) {
        }
        return true;
    }
    while (slice < AMSec) {
        if (check(slice))
            return true;
        AMSec -= slice;
    }
    return check(AMSec);
}

bool TIdSocketHandle::Select(std::int32_t ATimeout)
{
    const bool readable = FReadSocketList->SelectRead(ATimeout);
    TIdAntiFreezeBase::DoProcess(!readable);
    return readable;
}

std::int32_t TIdSocketHandle::Receive(TIdBytes& VBuffer)
{
    return GStack().Receive(FHandle, VBuffer);
}

std::int32_t TIdSocketHandle::Send(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ASize)
{
    return GStack().Send(FHandle, ABuffer, AOffset, ASize);
}

void TIdSocketHandle::GetSockOpt(int ALevel, int AOptName, std::int32_t& AOptVal)
{
    GStack().GetSocketOption(FHandle, ALevel, AOptName, AOptVal);
}

void TIdSocketHandle::SetSockOpt(int ALevel, int AOptName, std::int32_t AOptVal)
{
    GStack().SetSocketOption(FHandle, ALevel, AOptName, AOptVal);
}
