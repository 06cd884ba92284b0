#include "smtp/IdTCPConnection.h"

#include "net/IdIOHandlerSocket.h"
#include "platform/TickCount.h"
#include "smtp/IdIntercept.h"
#include "smtp/IdReplyRFC.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Holds the handler to the deadline of one reply and restores the one before
// however the reply ends.
class TReplyDeadline {
public:
    TReplyDeadline(TIdIOHandler& AIO, std::int32_t ATimeLimit)
        : FIO(AIO)
        , FOuter(AIO.ReadDeadline())
    {
        if (ATimeLimit > 0)
            FIO.SetReadDeadline(orvant::platform::TickCount() + static_cast<std::uint32_t>(ATimeLimit));
    }
    ~TReplyDeadline() { FIO.SetReadDeadline(FOuter); }
    TReplyDeadline(const TReplyDeadline&) = delete;
    TReplyDeadline& operator=(const TReplyDeadline&) = delete;

    bool Passed() const
    {
        const std::optional<std::uint32_t>& deadline = FIO.ReadDeadline();
        return deadline && static_cast<std::int32_t>(*deadline - orvant::platform::TickCount()) <= 0;
    }

private:
    TIdIOHandler& FIO;
    std::optional<std::uint32_t> FOuter;
};

const String kInterceptConflict = u"The IOHandler already has a different Intercept assigned";
const String kNotConnected = u"Not Connected";

// Names the command by its verb only: the rest of the line may be anything a caller
// passed, and a line break inside it must not carry it into a log.
void RefuseLineBreaks(const String& ALine)
{
    if (ALine.find_first_of(u"\r\n") == String::npos)
        return;
    std::size_t verbEnd = 0;
    while (verbEnd < ALine.size()
           && CharIsInSet(ALine[verbEnd], u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"))
        ++verbEnd;
    const String what = verbEnd == 0 ? String(u"A command") : u"The " + ALine.substr(0, verbEnd) + u" command";
    EIdException::Toss(what + u" was not sent: a value in it contains a line break (CR or LF).");
}

} // namespace

TIdTCPConnection::~TIdTCPConnection()
{
    if (FIOHandler) {
        try {
            FIOHandler->Close();
        } catch (...) {
            // An intercept that fails to disconnect cannot keep the connection alive,
            // and a destructor must not throw.
        }
    }
    ReleaseIOHandler();
    FLastCmdResult.reset();
    FGreeting.reset();
}

void TIdTCPConnection::InitializeDefaults()
{
    TIdComponent::InitializeDefaults();
    FReplyClass = DefaultReplyClass();
    FGreeting = FReplyClass(nullptr, nullptr);
    FLastCmdResult = FReplyClass(nullptr, nullptr);
}

TIdReplyClass TIdTCPConnection::DefaultReplyClass() const
{
    return &CreateWithReplyTexts<TIdReplyRFC>;
}

// --- Handler and intercept -------------------------------------------------------------

void TIdTCPConnection::SetIOHandler(TIdIOHandler* AValue)
{
    if (AValue == FIOHandler)
        return;
    if (AValue && FIntercept && AValue->Intercept() && AValue->Intercept() != FIntercept)
        EIdException::Toss(kInterceptConflict);
    ReleaseIOHandler();
    if (!AValue)
        return;
    FIOHandler = AValue;
    FreeNotification(AValue);
    // The handler's progress reaches the connection's work events.
    AValue->SetWorkTarget(this);
    if (FIntercept)
        AValue->SetIntercept(FIntercept);
    FSocket = dynamic_cast<TIdIOHandlerSocket*>(AValue);
}

void TIdTCPConnection::ReleaseIOHandler()
{
    TIdIOHandler* old = std::exchange(FIOHandler, nullptr);
    FSocket = nullptr;
    const bool managed = std::exchange(FManagedIOHandler, false);
    if (!old)
        return;
    old->SetWorkTarget(nullptr);
    RemoveFreeNotification(old);
    if (managed) {
        if (TComponent* owner = old->Owner())
            owner->RemoveComponent(*old).reset();
    }
}

void TIdTCPConnection::AttachManagedIOHandler(TIdIOHandler& AHandler)
{
    SetIOHandler(&AHandler);
    FManagedIOHandler = true;
}

void TIdTCPConnection::CheckCanChangeIOHandler()
{
    if (Connected())
        EIdException::Toss(u"Cannot change a connected IOHandler.");
}

TIdConnectionIntercept* TIdTCPConnection::Intercept() const
{
    return FIOHandler ? FIOHandler->Intercept() : FIntercept;
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* AValue)
{
    if (FIOHandler && AValue && FIOHandler->Intercept() && FIOHandler->Intercept() != AValue)
        EIdException::Toss(kInterceptConflict);
    // A link to an old intercept stays until one of the two is destroyed: the
    // intercept may watch this connection through the same link.
    FIntercept = AValue;
    FreeNotification(AValue);
    if (FIOHandler)
        FIOHandler->SetIntercept(AValue);
}

void TIdTCPConnection::Notification(TComponent* AComponent, TOperation AOperation)
{
    if (AOperation == TOperation::opRemove) {
        if (AComponent == FIOHandler) {
            FIOHandler = nullptr;
            FSocket = nullptr;
            FManagedIOHandler = false;
        }
        if (AComponent == FIntercept)
            FIntercept = nullptr;
    }
    TIdComponent::Notification(AComponent, AOperation);
}

TIdIOHandler& TIdTCPConnection::RequireIOHandler()
{
    if (!FIOHandler)
        EIdException::Toss<EIdNotConnected>(kNotConnected);
    return *FIOHandler;
}

// --- Commands and replies --------------------------------------------------------------

void TIdTCPConnection::PrepareCommand(String&)
{
}

void TIdTCPConnection::WriteCommand(const String& AOut, const IIdTextEncodingPtr& AEncoding)
{
    TIdIOHandler& io = RequireIOHandler();
    String line = AOut;
    PrepareCommand(line);
    RefuseLineBreaks(line);
    io.WriteLn(line, AEncoding);
}

std::int16_t TIdTCPConnection::SendCmd(const String& AOut, const std::vector<std::int16_t>& AResponse,
                                       const IIdTextEncodingPtr& AEncoding)
{
    WriteCommand(AOut, AEncoding);
    return GetResponse(AResponse, AEncoding);
}

std::int16_t TIdTCPConnection::SendCmd(const String& AOut, std::int16_t AResponse, const IIdTextEncodingPtr& AEncoding)
{
    return SendCmd(AOut, AResponse < 0 ? std::vector<std::int16_t>{} : std::vector<std::int16_t>{AResponse}, AEncoding);
}

String TIdTCPConnection::SendCmd(const String& AOut, StringView AResponse, const IIdTextEncodingPtr& AEncoding)
{
    WriteCommand(AOut, AEncoding);
    return GetResponse(AResponse, AEncoding);
}

void TIdTCPConnection::GetInternalResponse(const IIdTextEncodingPtr& AEncoding)
{
    TIdIOHandler& io = RequireIOHandler();
    const TReplyDeadline deadline(io, FReplyTimeLimit);
    TStringList lines;
    std::int64_t size = 0;
    for (;;) {
        String line;
        try {
            // Blank lines are skipped, so a server's stray empty line inside a
            // multi-line reply does not end it.
            line = io.ReadLnWait(std::numeric_limits<std::int32_t>::max(), AEncoding);
        } catch (const EIdReadTimeout&) {
            if (!deadline.Passed())
                throw;
            throw EIdReplyTimeout(
                Format(u"Reply timed out: not complete within %d ms.", {std::int64_t {FReplyTimeLimit}}),
                FReplyTimeLimit);
        }
        // Checked before the line is kept, so a reply without end stops at the bound.
        size += static_cast<std::int64_t>(line.size() + EOL.size());
        if (FReplyMaxLines > 0 && lines.Count() >= FReplyMaxLines)
            throw EIdReplyTooLong(Format(u"Reply too long: more than %d lines.", {std::int64_t {FReplyMaxLines}}),
                                  FReplyMaxLines, 0);
        if (FReplyMaxSize > 0 && size > FReplyMaxSize)
            throw EIdReplyTooLong(Format(u"Reply too long: more than %d bytes.", {std::int64_t {FReplyMaxSize}}), 0,
                                  FReplyMaxSize);
        lines.Add(line);
        if (FLastCmdResult->IsEndMarker(line))
            break;
    }
    FLastCmdResult->SetFormattedReply(lines);
}

std::int16_t TIdTCPConnection::GetResponse(const std::vector<std::int16_t>& AAllowedResponses,
                                           const IIdTextEncodingPtr& AEncoding)
{
    GetInternalResponse(AEncoding);
    return CheckResponse(static_cast<std::int16_t>(FLastCmdResult->NumericCode()), AAllowedResponses);
}

std::int16_t TIdTCPConnection::GetResponse(std::int16_t AAllowedResponse, const IIdTextEncodingPtr& AEncoding)
{
    return GetResponse(AAllowedResponse < 0 ? std::vector<std::int16_t>{} : std::vector<std::int16_t>{AAllowedResponse},
                       AEncoding);
}

String TIdTCPConnection::GetResponse(StringView AAllowedResponse, const IIdTextEncodingPtr& AEncoding)
{
    GetInternalResponse(AEncoding);
    return CheckResponse(FLastCmdResult->Code(), AAllowedResponse);
}

std::int16_t TIdTCPConnection::CheckResponse(std::int16_t AResponse, const std::vector<std::int16_t>& AAllowedResponses)
{
    if (!AAllowedResponses.empty()
        && std::find(AAllowedResponses.begin(), AAllowedResponses.end(), AResponse) == AAllowedResponses.end())
        RaiseExceptionForLastCmdResult();
    return AResponse;
}

String TIdTCPConnection::CheckResponse(const String& AResponse, StringView AAllowedResponse)
{
    if (!AAllowedResponse.empty() && !TextIsSame(AResponse, AAllowedResponse))
        RaiseExceptionForLastCmdResult();
    return AResponse;
}

void TIdTCPConnection::RaiseExceptionForLastCmdResult()
{
    FLastCmdResult->RaiseReplyError();
    // Only a faulty reply class gets here; a refusal must not pass as success.
    throw EIdReplyRFCError(FLastCmdResult->NumericCode(), FLastCmdResult->Text().Text());
}

std::exception_ptr TIdTCPConnection::LastCmdResultError()
{
    std::exception_ptr error;
    try {
        RaiseExceptionForLastCmdResult();
    } catch (...) {
        error = std::current_exception();
    }
    return error;
}

void TIdTCPConnection::WriteHeader(const TStrings& AHeader)
{
    TIdIOHandler& io = RequireIOHandler();
    TStringList lines;
    for (const String& line : AHeader) {
        const std::size_t equals = line.find(u'=');
        lines.Add(equals == String::npos ? line : line.substr(0, equals) + u": " + line.substr(equals + 1));
    }
    lines.Add(String());
    io.Write(lines);
}

void TIdTCPConnection::WriteRFCStrings(const TStrings& AStrings)
{
    RequireIOHandler().WriteRFCStrings(AStrings, true);
}

// --- Connection state ------------------------------------------------------------------

bool TIdTCPConnection::Connected()
{
    return FIOHandler && FIOHandler->Connected();
}

void TIdTCPConnection::CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected)
{
    if (FIOHandler)
        FIOHandler->CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
    else if (ARaiseExceptionIfDisconnected)
        EIdException::Toss(kNotConnected);
}

void TIdTCPConnection::Disconnect(bool ANotifyPeer)
{
    try {
        if (ANotifyPeer && Connected())
            DisconnectNotifyPeer();
    } catch (...) {
        CloseOpenHandler();
        throw;
    }
    CloseOpenHandler();
}

void TIdTCPConnection::DisconnectAfterFailure(bool ANotifyPeer) noexcept
{
    try {
        Disconnect(ANotifyPeer);
    } catch (...) {
        // The connection is closed all the same; the failure being handled is the news.
    }
}

void TIdTCPConnection::CloseOpenHandler()
{
    // A handler that is not open is left alone, so disconnecting twice is harmless.
    if (!FIOHandler || !FIOHandler->Opened())
        return;
    ReportStatus(TIdStatus::hsDisconnecting);
    FIOHandler->Close();
    NotifyDisconnected();
    ReportStatus(TIdStatus::hsDisconnected);
}

void TIdTCPConnection::DisconnectNotifyPeer()
{
}

void TIdTCPConnection::NotifyDisconnected()
{
    if (OnDisconnected)
        OnDisconnected(this);
}
