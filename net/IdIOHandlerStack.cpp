#include "net/IdIOHandlerStack.h"

#include "net/IdStackErrors.h"
#include "smtp/IdAntiFreezeBase.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>

namespace {

// The default I/O handler class is set while the program starts, before any client
// can ask for a handler.
const bool gDefaultClassRegistered = [] {
    TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>();
    return true;
}();

constexpr std::int32_t kConnectPollInterval = 125;
// With an anti-freeze the user interface stays alive this long at most while a
// connect blocks.
constexpr std::int32_t kAntiFreezeConnectTimeout = 120000;
// How often a connect that was asked to stop is aborted again: an abort that came
// before the connect call itself began has no effect.
constexpr std::int32_t kAbortRetryInterval = 10;

} // namespace

bool TIdIOHandlerStack::DefaultClassRegistered()
{
    return gDefaultClassRegistered;
}

// --- Connecting ------------------------------------------------------------------------

void TIdIOHandlerStack::EstablishConnection()
{
    TIdIOHandlerSocket::EstablishConnection();
    TIdStack& stack = GStack();
    const String host = Host();
    const TIdIPVersion version = IPVersion();
    // Cut to 16 bits, a larger number would reach some other port.
    if (Port() > std::numeric_limits<TIdPort>::max())
        stack.RaiseSocketError(Id_WSAEINVAL);
    const bool numeric = version == TIdIPVersion::Id_IPv4 ? stack.IsIP(host)
                                                          : !TIdStack::CanonicalIPv6Address(host).empty();
    String address = host;
    if (!numeric) {
        ReportStatus(TIdStatus::hsResolving, {host});
        address = stack.ResolveHost(host, version);
    }
    TIdSocketHandle& binding = *Binding();
    binding.SetPeer(address, static_cast<TIdPort>(Port()), version);
    ReportStatus(TIdStatus::hsConnecting, {binding.PeerIP()});
    if (ConnectTimeout() != 0)
        ConnectWithTimeout(ConnectTimeout());
    else if (TIdAntiFreezeBase::ShouldUse())
        ConnectWithTimeout(kAntiFreezeConnectTimeout);
    else
        binding.Connect();
}

void TIdIOHandlerStack::ConnectWithTimeout(std::int32_t ATimeout)
{
    std::int32_t interval = kConnectPollInterval;
    if (TIdAntiFreezeBase::ShouldUse())
        interval = std::clamp(TIdAntiFreezeBase::Instance()->IdleTimeOut(), 1, kConnectPollInterval);

    TIdConnectThread thread(*Binding());
    if (ATimeout < 0) {
        while (!thread.WaitFor(interval))
            TIdAntiFreezeBase::DoProcess();
    } else {
        for (std::int32_t remaining = ATimeout; remaining > 0;) {
            const std::int32_t slice = std::min(interval, remaining);
            if (thread.WaitFor(slice))
                break;
            TIdAntiFreezeBase::DoProcess();
            remaining -= slice;
        }
    }
    if (!thread.Terminated()) {
        // The socket is closed before the time-out leaves, and only once the worker
        // is done with it.
        thread.Terminate();
        Close();
        EIdException::Toss<EIdConnectTimeout>(u"Connect timed out.");
    }
    if (thread.ExceptionOccured()) {
        if (thread.LastSocketError() != 0)
            throw EIdSocketError::CreateError(thread.LastSocketError(), thread.ExceptionMessage());
        EIdException::Toss<EIdConnectException>(thread.ExceptionMessage());
    }
}

// --- Transport -------------------------------------------------------------------------

std::int32_t TIdIOHandlerStack::ReceiveFromSource(TIdBytes& VBuffer)
{
    try {
        return Binding()->Receive(VBuffer);
    } catch (const EIdSocketError& e) {
        GStack().WSSetLastError(e.LastError());
        return Id_SOCKET_ERROR;
    }
}

std::int32_t TIdIOHandlerStack::SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength)
{
    try {
        return Binding()->Send(ABuffer, AOffset, ALength);
    } catch (const EIdSocketError& e) {
        GStack().WSSetLastError(e.LastError());
        return Id_SOCKET_ERROR;
    }
}

std::int32_t TIdIOHandlerStack::TranslateTransportError(std::int32_t ALastResult)
{
    return GStack().CheckForSocketError(ALastResult,
                                        {Id_WSAESHUTDOWN, Id_WSAECONNABORTED, Id_WSAECONNRESET, Id_WSAETIMEDOUT});
}

void TIdIOHandlerStack::RaiseTransportError(std::int32_t AError)
{
    GStack().RaiseSocketError(AError);
}

bool TIdIOHandlerStack::Readable(std::int32_t AMSec)
{
    if (!Binding())
        RaiseConnectionClosed();
    return Binding()->Readable(AMSec);
}

bool TIdIOHandlerStack::Connected()
{
    FillInputBuffer(false, 0, false);
    return (HasSource() && TIdIOHandler::Connected()) || !InputBufferIsEmpty();
}

void TIdIOHandlerStack::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer)
{
    bool lost = !HasSource();
    if (ClosedGracefully()) {
        if (HasSource()) {
            Close();
            ReportStatus(TIdStatus::hsDisconnected);
        }
        lost = true;
    }
    if (lost && ARaiseExceptionIfDisconnected && (AIgnoreBuffer || InputBufferIsEmpty()))
        RaiseConnectionClosed();
}

std::int64_t TIdIOHandlerStack::WriteFile(const String& AFile, bool AEnableTransferFile)
{
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(ToUtf8(AFile)), error))
        return 0;
    return TIdIOHandlerSocket::WriteFile(AFile, AEnableTransferFile);
}

// --- TIdConnectThread ------------------------------------------------------------------

TIdConnectThread::TIdConnectThread(TIdSocketHandle& ABinding)
    : FBinding(&ABinding)
    , FThread([this] { Execute(); })
{
}

TIdConnectThread::~TIdConnectThread()
{
    Terminate();
}

void TIdConnectThread::Execute()
{
    try {
        FBinding->Connect();
    } catch (const EIdSocketError& e) {
        FExceptionOccured = true;
        FExceptionMessage = e.Message();
        // A bad handle or a non-socket means the socket was closed under the
        // connect; that is no error of the connect itself.
        if (e.LastError() != Id_WSAEBADF && e.LastError() != Id_WSAENOTSOCK)
            FLastSocketError = e.LastError();
    } catch (const Exception& e) {
        FExceptionOccured = true;
        FExceptionMessage = e.Message();
    } catch (const std::exception& e) {
        FExceptionOccured = true;
        FExceptionMessage = FromUtf8(e.what());
    } catch (...) {
        // Nothing may leave a thread's body; the failure is reported without a text.
        FExceptionOccured = true;
    }
    std::lock_guard<std::mutex> lock(FLock);
    FTerminated = true;
    FEnded.notify_all();
}

bool TIdConnectThread::WaitFor(std::int32_t AMSec)
{
    std::unique_lock<std::mutex> lock(FLock);
    if (AMSec < 0)
        FEnded.wait(lock, [this] { return FTerminated; });
    else
        FEnded.wait_for(lock, std::chrono::milliseconds(AMSec), [this] { return FTerminated; });
    return FTerminated;
}

bool TIdConnectThread::Terminated()
{
    std::lock_guard<std::mutex> lock(FLock);
    return FTerminated;
}

void TIdConnectThread::Terminate()
{
    if (!FThread.joinable())
        return;
    // The socket stays open until the worker has returned, so its descriptor cannot
    // be reused under it; shutting the socket down ends the pending connect.
    while (!Terminated()) {
        FBinding->AbortConnect();
        WaitFor(kAbortRetryInterval);
    }
    FThread.join();
}
