#include "net/IdStack.h"

#include "net/IdIPAddress.h"
#include "net/IdStackErrors.h"
#include "smtp/IdExceptionCore.h"

#include <mutex>
#include <utility>

namespace {

// The stack lock guards the three items below. It is re-entrant like the critical
// section it stands for, so a stack whose construction or destruction touches the
// usage count does not deadlock.
std::recursive_mutex& StackLock()
{
    static std::recursive_mutex lock;
    return lock;
}
std::unique_ptr<TIdStack> gStack;
int gUsageCount = 0;

// The system's stack is asked for here rather than registered from its own unit: a
// static library drops object files nothing refers to, together with their
// initialisers. Set on first use, so a component made while the program starts finds it.
TIdStackClass& StackClassSlot()
{
    static TIdStackClass stackClass = TIdStack::SystemStackClass();
    return stackClass;
}

const String kIPVersionUnsupported = u"The requested IPVersion / Address family is not supported.";

} // namespace

void TIdStack::IncUsage()
{
    std::lock_guard<std::recursive_mutex> lock(StackLock());
    if (gUsageCount == 0) {
        if (gStack)
            EIdException::Toss(u"Stack already created.");
        if (!StackClassSlot())
            EIdException::Toss(u"Stack Class is undefined.");
        gStack = StackClassSlot()();
    }
    ++gUsageCount;
}

void TIdStack::DecUsage()
{
    std::lock_guard<std::recursive_mutex> lock(StackLock());
    if (gUsageCount == 0)
        return;
    --gUsageCount;
    if (gUsageCount == 0) {
        // Clear the shared reference first: nothing may reach a stack being destroyed.
        std::unique_ptr<TIdStack> dying = std::move(gStack);
        dying.reset();
    }
}

int TIdStack::UsageCount()
{
    std::lock_guard<std::recursive_mutex> lock(StackLock());
    return gUsageCount;
}

TIdStackClass TIdStack::StackClass()
{
    std::lock_guard<std::recursive_mutex> lock(StackLock());
    return StackClassSlot();
}

void TIdStack::SetStackClass(TIdStackClass stackClass)
{
    std::lock_guard<std::recursive_mutex> lock(StackLock());
    StackClassSlot() = stackClass;
}

TIdStack& GStack()
{
    std::lock_guard<std::recursive_mutex> lock(StackLock());
    if (!gStack)
        EIdException::Toss<EIdStackError>(u"Socket stack is not created: no component holds it.");
    return *gStack;
}

[[noreturn]] void TIdStack::RaiseIPVersionUnsupported()
{
    EIdException::Toss<EIdIPVersionUnsupported>(kIPVersionUnsupported);
}

String TIdStack::ResolveHost(const String& AHost, TIdIPVersion AIPVersion)
{
    switch (AIPVersion) {
    case TIdIPVersion::Id_IPv4:
        if (UpperCase(AHost) == u"LOCALHOST")
            return u"127.0.0.1";
        if (IsIP(AHost))
            return AHost;
        return LookupHostAddress(AHost, AIPVersion);
    case TIdIPVersion::Id_IPv6:
        if (String canonical = CanonicalIPv6Address(AHost); !canonical.empty())
            return canonical;
        return LookupHostAddress(AHost, AIPVersion);
    }
    RaiseIPVersionUnsupported();
}

bool TIdStack::IsIP(StringView AIP) const
{
    String rest(AIP);
    for (int part = 0; part < 4; ++part) {
        // The fourth part is the whole rest, so "1.2.3.4.5" fails on "4.5".
        const String text = part < 3 ? Fetch(rest, u".") : std::exchange(rest, String());
        const int value = StrToIntDef(text, -1); // ignores surrounding blanks
        if (value < 0 || value > 255)
            return false;
    }
    return true;
}

TIdPort TIdStack::BindPortRange(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APortMin,
                                TIdPort APortMax, TIdIPVersion AIPVersion)
{
    const auto range = {FormatArg(std::int64_t(APortMin)), FormatArg(std::int64_t(APortMax))};
    if (APortMax < APortMin)
        EIdException::Toss<EIdInvalidPortRange>(Format(u"Invalid Port Range (%d - %d)", range));
    for (int port = APortMax; port >= APortMin; --port) {
        try {
            Bind(ASocket, AIP, static_cast<TIdPort>(port), AIPVersion);
            return static_cast<TIdPort>(port);
        } catch (const EIdException&) {
            // A port in use is the expected failure here: try the next one.
        }
    }
    EIdException::Toss<EIdCanNotBindPortInRange>(Format(u"Can not bind in port range (%d - %d)", range));
}

String TIdStack::WSTranslateSocketErrorMsg(std::int32_t AErr)
{
    return Format(u"Socket Error # %d\r\n%s", {std::int64_t(AErr), String(SocketErrorText(AErr))});
}

void TIdStack::RaiseSocketError(std::int32_t AErr)
{
    if (AErr == Id_WSAENOTSOCK)
        throw EIdNotASocket(AErr, WSTranslateSocketErrorMsg(AErr));
    throw EIdSocketError(AErr, WSTranslateSocketErrorMsg(AErr));
}

void TIdStack::RaiseLastSocketError()
{
    RaiseSocketError(WSGetLastError());
}

int TIdStack::CheckForSocketError(int AResult)
{
    if (AResult == Id_SOCKET_ERROR)
        RaiseLastSocketError();
    return AResult;
}

int TIdStack::CheckForSocketError(int AResult, std::initializer_list<std::int32_t> AIgnore)
{
    if (AResult != Id_SOCKET_ERROR)
        return AResult;
    const std::int32_t error = WSGetLastError();
    for (std::int32_t ignored : AIgnore)
        if (error == ignored)
            return error;
    RaiseSocketError(error);
}

String TIdStack::CanonicalIPv6Address(StringView AIP)
{
    if (AIP.find(u'\0') != StringView::npos)
        return {};
    TIdIPv6Bytes address{};
    if (!ParseIPv6Address(ToUtf8(AIP), address))
        return {};
    return IPv6AddressText(address);
}
