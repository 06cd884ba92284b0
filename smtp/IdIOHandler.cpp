#include "smtp/IdIOHandler.h"

#include "platform/TickCount.h"
#include "smtp/IdAntiFreezeBase.h"
#include "smtp/IdIntercept.h"

#include <algorithm>

namespace {

// The part of an array that (length, offset) denote, clamped to the array: a
// negative length means to the end. Returns false when nothing is left.
bool ClampRange(const TIdBytes& bytes, std::int32_t& length, std::int32_t& offset)
{
    const auto total = static_cast<std::int64_t>(bytes.size());
    if (offset < 0 || offset >= total)
        return false;
    const std::int64_t available = total - offset;
    length = static_cast<std::int32_t>(length < 0 ? available : std::min<std::int64_t>(length, available));
    return length > 0;
}

} // namespace

TIdIOHandler::~TIdIOHandler()
{
    try {
        TIdIOHandler::Close();
    } catch (...) {
        // A destructor must not throw; an intercept that fails to disconnect cannot
        // keep the handler alive.
    }
}

void TIdIOHandler::InitializeDefaults()
{
    TIdComponent::InitializeDefaults();
    FLargeStream = false;
    FClosedGracefully = false;
    FConnectTimeout = 0;
    FDestination.clear();
    FHost.clear();
    FInputBuffer = std::make_unique<TIdBuffer>(
        [this](TIdBuffer*, std::int32_t ABytes) { DoWork(TWorkMode::wmRead, ABytes); });
    FIntercept = nullptr;
    FMaxCapturedLines = -1;
    FMaxLineAction = TIdMaxLineAction::maException;
    FMaxLineLength = IdMaxLineLengthDefault;
    FOpened = false;
    FPort = 0;
    FReadLnSplit = false;
    FReadLnTimedout = false;
    FReadTimeout = IdTimeoutDefault;
    FRecvBufferSize = IdDefaultBufferSize;
    FSendBufferSize = IdDefaultBufferSize;
    FWriteBuffer.reset();
    FWriteBufferThreshold = 0;
    FDefStringEncoding = IndyTextEncoding_ASCII();
}

void TIdIOHandler::SetDefStringEncoding(const IIdTextEncodingPtr& AValue)
{
    FDefStringEncoding = AValue ? AValue : IndyTextEncoding_Default();
}

void TIdIOHandler::SetIntercept(TIdConnectionIntercept* AValue)
{
    if (AValue == FIntercept)
        return;
    // A link to the old intercept stays until one of the two is destroyed: the
    // intercept may watch this handler through the same link.
    FIntercept = AValue;
    FreeNotification(AValue);
}

void TIdIOHandler::Notification(TComponent* AComponent, TOperation AOperation)
{
    if (AOperation == TOperation::opRemove && AComponent == FIntercept)
        FIntercept = nullptr;
    TIdComponent::Notification(AComponent, AOperation);
}

IIdTextEncodingPtr TIdIOHandler::TextEncoding(const IIdTextEncodingPtr& AByteEncoding) const
{
    if (AByteEncoding)
        return AByteEncoding;
    return FDefStringEncoding ? FDefStringEncoding : IndyTextEncoding_ASCII();
}

// --- Lifecycle -------------------------------------------------------------------------

void TIdIOHandler::Open()
{
    FOpened = false;
    FClosedGracefully = false;
    WriteBufferClear();
    FInputBuffer->Clear();
    FOpened = true;
}

void TIdIOHandler::Close()
{
    // Whatever the intercept does, the handler ends up closed and unsent buffered
    // bytes are dropped.
    const auto finish = [this] {
        FOpened = false;
        WriteBufferClear();
    };
    try {
        if (FIntercept)
            FIntercept->Disconnect();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

bool TIdIOHandler::Connected()
{
    CheckForDisconnect(false, false);
    return FOpened && (!FClosedGracefully || FInputBuffer->Size() > 0);
}

bool TIdIOHandler::Readable(std::int32_t)
{
    return false;
}

void TIdIOHandler::RaiseConnectionClosed()
{
    EIdException::Toss<EIdConnClosedGracefully>(u"Connection Closed Gracefully.");
}

void TIdIOHandler::RaiseTransportErrorNoReturn(std::int32_t AError)
{
    RaiseTransportError(AError);
    // Only a faulty transport gets here; the failure must not pass as success.
    EIdException::Toss<EIdClosedSocket>(u"Disconnected.");
}

void TIdIOHandler::CheckCanReceiveMore()
{
    if (FClosedGracefully || !FOpened || !HasSource())
        RaiseConnectionClosed();
}

// --- Reading -------------------------------------------------------------------------

std::int32_t TIdIOHandler::FillInputBuffer(bool ARaiseExceptionIfDisconnected, std::int32_t ATimeout,
                                           bool ARaiseExceptionOnTimeout)
{
    if (ATimeout == IdTimeoutDefault)
        ATimeout = (FReadTimeout == IdTimeoutDefault || FReadTimeout == 0) ? IdTimeoutInfinite : FReadTimeout;
    bool deadlinePassed = false;
    if (FReadDeadline) {
        // What is left of it; the tick counter may have wrapped around since it was set.
        const auto left = static_cast<std::int32_t>(*FReadDeadline - orvant::platform::TickCount());
        deadlinePassed = left <= 0;
        if (ATimeout == IdTimeoutInfinite || ATimeout > left)
            ATimeout = std::max(left, 0);
    }
    CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
    if (!HasSource()) {
        if (!ARaiseExceptionIfDisconnected)
            return 0;
        EIdException::Toss<EIdNotConnected>(u"Not Connected");
    }
    const auto timedOut = [ARaiseExceptionOnTimeout]() -> std::int32_t {
        if (!ARaiseExceptionOnTimeout)
            return -1;
        EIdException::Toss<EIdReadTimeout>(u"Read timed out.");
    };
    // One receive. A count of 0 (the peer closed, the source is gone, or an
    // intercept kept every byte) marks the handler closed and is returned as it is:
    // nothing more will arrive, so trying again would only spin.
    if (deadlinePassed || !Readable(ATimeout))
        return timedOut();
    std::int32_t count = 0;
    if (FOpened) {
        if (HasSource()) {
            TIdBytes received(static_cast<std::size_t>(FRecvBufferSize > 0 ? FRecvBufferSize : IdDefaultBufferSize));
            count = ReceiveFromSource(received);
            if (count > 0) {
                received.resize(static_cast<std::size_t>(std::min<std::int64_t>(count, received.size())));
                if (FIntercept)
                    FIntercept->Receive(received);
                count = static_cast<std::int32_t>(received.size());
                FInputBuffer->Write(received);
            }
        } else if (ARaiseExceptionIfDisconnected) {
            EIdException::Toss<EIdClosedSocket>(u"Disconnected.");
        }
    } else if (ARaiseExceptionIfDisconnected) {
        EIdException::Toss<EIdNotConnected>(u"Not Connected");
    }
    if (count < 0) {
        const std::int32_t code = TranslateTransportError(count);
        if (code == IdTransportTimeoutCode)
            return timedOut();
        FClosedGracefully = true;
        Close();
        if (FInputBuffer->Size() == 0 && ARaiseExceptionIfDisconnected)
            RaiseTransportErrorNoReturn(code);
        count = 0;
    }
    if (count == 0)
        FClosedGracefully = true;
    CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
    return count;
}

void TIdIOHandler::EnsureInputBytes(std::int32_t AByteCount)
{
    while (FInputBuffer->Size() < AByteCount) {
        const std::int32_t added = FillInputBuffer(false, IdTimeoutDefault, true);
        if (added <= 0 || FInputBuffer->Size() < AByteCount)
            CheckForDisconnect(true, true);
        if (added <= 0)
            CheckCanReceiveMore();
    }
}

void TIdIOHandler::ReadBytes(TIdBytes& VBuffer, std::int32_t AByteCount, bool AAppend)
{
    if (AByteCount > 0) {
        EnsureInputBytes(AByteCount);
        FInputBuffer->ExtractToBytes(VBuffer, AByteCount, AAppend);
    } else if (AByteCount < 0) {
        FillInputBuffer(false, FReadTimeout, false);
        CheckForDisconnect(true, true);
        FInputBuffer->ExtractToBytes(VBuffer, -1, AAppend);
    }
}

String TIdIOHandler::ReadLn(const String& ATerminator, std::int32_t ATimeout, std::int32_t AMaxLineLength,
                            const IIdTextEncodingPtr& AByteEncoding)
{
    const IIdTextEncodingPtr encoding = TextEncoding(AByteEncoding);
    const std::int64_t maxLength = AMaxLineLength < 0 ? FMaxLineLength : AMaxLineLength;
    const bool terminatorIsLF = ATerminator.empty() || ATerminator == StringView(&LF, 1);
    const TIdBytes terminator = encoding->GetBytes(terminatorIsLF ? StringView(&LF, 1) : StringView(ATerminator));
    const auto terminatorLength = static_cast<std::int32_t>(terminator.size());

    FReadLnSplit = false;
    FReadLnTimedout = false;
    const std::uint32_t start = orvant::platform::TickCount();
    std::int32_t searchStart = 0;
    std::int32_t terminatorPos = -1;
    for (;;) {
        const std::int32_t size = FInputBuffer->Size();
        if (size > 0) {
            terminatorPos = searchStart < size ? FInputBuffer->IndexOf(terminator, searchStart) : -1;
            // Resume where this search ended, less what a terminator split across two
            // receives may already occupy.
            searchStart = std::max(0, size - (terminatorLength - 1));
        }
        // The line is too long once its terminator lies beyond the limit, or once the
        // buffer holds so much that no terminator can still end it in time; the second
        // test keeps a peer that never ends its line from filling memory.
        const bool tooLong = maxLength > 0
                             && (terminatorPos > maxLength
                                 || (terminatorPos < 0 && size >= maxLength + terminatorLength));
        if (tooLong) {
            if (FMaxLineAction == TIdMaxLineAction::maException)
                EIdException::Toss<EIdReadLnMaxLineLengthExceeded>(u"Max line length exceeded.");
            FReadLnSplit = true;
            return FInputBuffer->ExtractToString(static_cast<std::int32_t>(maxLength), encoding);
        }
        if (terminatorPos >= 0)
            break;
        CheckForDisconnect(true, true);
        const std::int32_t added = FillInputBuffer(true, ATimeout, false);
        if (added < 0)
            FReadLnTimedout = true;
        else if (ATimeout >= 0
                 && orvant::platform::TickDiff(start, orvant::platform::TickCount()) >= static_cast<std::uint32_t>(ATimeout))
            FReadLnTimedout = true;
        if (FReadLnTimedout)
            return {};
        if (added == 0)
            CheckCanReceiveMore();
    }
    std::int32_t lineLength = terminatorPos;
    // With the LF terminator a CR right before it belongs to the line end (CR LF).
    if (terminatorIsLF && terminatorLength == 1 && lineLength > 0 && FInputBuffer->PeekByte(lineLength - 1) == 13)
        --lineLength;
    String line = FInputBuffer->ExtractToString(lineLength, encoding, 0);
    FInputBuffer->Remove(terminatorPos + terminatorLength);
    return line;
}

String TIdIOHandler::ReadLn(const IIdTextEncodingPtr& AByteEncoding)
{
    return ReadLn(String(1, LF), IdTimeoutDefault, -1, AByteEncoding);
}

String TIdIOHandler::ReadLn(const String& ATerminator, const IIdTextEncodingPtr& AByteEncoding)
{
    return ReadLn(ATerminator, IdTimeoutDefault, -1, AByteEncoding);
}

String TIdIOHandler::ReadLnWait(std::int32_t AFailCount, const IIdTextEncodingPtr& AByteEncoding)
{
    for (std::int32_t attempts = 0; attempts < AFailCount; ++attempts) {
        const String line = Trim(ReadLn(String(1, LF), IdTimeoutDefault, -1, AByteEncoding));
        if (!line.empty())
            return line;
        if (FReadLnTimedout)
            EIdException::Toss<EIdReadTimeout>(u"Read timed out.");
    }
    EIdException::Toss<EIdReadLnWaitMaxAttemptsExceeded>(u"Max line read attempts exceeded.");
}

// --- Writing -------------------------------------------------------------------------

void TIdIOHandler::Write(const TIdBytes& ABuffer, std::int32_t ALength, std::int32_t AOffset)
{
    if (!ClampRange(ABuffer, ALength, AOffset))
        return;
    if (!FWriteBuffer) {
        WriteDirect(ABuffer, ALength, AOffset);
        return;
    }
    FWriteBuffer->Write(ABuffer, ALength, AOffset);
    if (FWriteBufferThreshold > 0) {
        while (FWriteBuffer && FWriteBuffer->Size() >= FWriteBufferThreshold)
            WriteBufferFlush(FWriteBufferThreshold);
    }
}

void TIdIOHandler::WriteDirect(const TIdBytes& ABuffer, std::int32_t ALength, std::int32_t AOffset)
{
    CheckForDisconnect(true, true);
    if (!ClampRange(ABuffer, ALength, AOffset))
        return;
    const TIdBytes* bytes = &ABuffer;
    TIdBytes filtered;
    if (FIntercept) {
        filtered.assign(ABuffer.begin() + AOffset, ABuffer.begin() + AOffset + ALength);
        FIntercept->Send(filtered);
        bytes = &filtered;
        AOffset = 0;
        ALength = static_cast<std::int32_t>(filtered.size());
    }
    std::int32_t position = AOffset;
    std::int32_t remaining = ALength;
    while (remaining > 0) {
        std::int32_t sent = SendToTarget(*bytes, position, remaining);
        if (sent < 0) {
            const std::int32_t code = TranslateTransportError(sent);
            if (code != IdTransportTimeoutCode) {
                FClosedGracefully = true;
                Close();
            }
            RaiseTransportErrorNoReturn(code);
        }
        TIdAntiFreezeBase::DoProcess(false);
        if (sent == 0)
            FClosedGracefully = true;
        CheckForDisconnect(true, false);
        // Unsent bytes must not pass as sent, also when buffered input kept the
        // transport from raising.
        if (sent == 0)
            RaiseConnectionClosed();
        sent = std::min(sent, remaining);
        DoWork(TWorkMode::wmWrite, sent);
        position += sent;
        remaining -= sent;
    }
}

void TIdIOHandler::Write(const String& AOut, const IIdTextEncodingPtr& AByteEncoding)
{
    if (AOut.empty())
        return;
    Write(TextEncoding(AByteEncoding)->GetBytes(AOut));
}

void TIdIOHandler::WriteLn(const String& AOut, const IIdTextEncodingPtr& AByteEncoding)
{
    // The line and its end are converted as one text and leave in one piece.
    String line;
    line.reserve(AOut.size() + EOL.size());
    line.append(AOut).append(EOL);
    Write(line, AByteEncoding);
}

void TIdIOHandler::WriteLn(const IIdTextEncodingPtr& AByteEncoding)
{
    WriteLn(String(), AByteEncoding);
}

void TIdIOHandler::WriteLnRFC(const String& AOut, const IIdTextEncodingPtr& AByteEncoding)
{
    if (!AOut.empty() && AOut[0] == u'.')
        WriteLn(u"." + AOut, AByteEncoding);
    else
        WriteLn(AOut, AByteEncoding);
}

void TIdIOHandler::WriteRFCStrings(const TStrings& AStrings, bool AWriteTerminator,
                                   const IIdTextEncodingPtr& AByteEncoding)
{
    for (const String& line : AStrings)
        WriteLnRFC(line, AByteEncoding);
    if (AWriteTerminator)
        WriteLn(u".", AByteEncoding);
}

// --- Write buffering -----------------------------------------------------------------

void TIdIOHandler::WriteBufferOpen(std::int32_t AThreshold)
{
    if (FWriteBuffer)
        FWriteBuffer->Clear();
    else
        FWriteBuffer = std::make_unique<TIdBuffer>();
    FWriteBufferThreshold = AThreshold;
}

void TIdIOHandler::WriteBufferFlush(std::int32_t AByteCount)
{
    if (!FWriteBuffer || FWriteBuffer->Size() == 0)
        return;
    const std::int32_t size = FWriteBuffer->Size();
    const std::int32_t count = AByteCount < 0 ? size : std::min(AByteCount, size);
    if (count == 0)
        return;
    FWriteBuffer->ExtractToBytes(FFlushChunk, count, false);
    WriteDirect(FFlushChunk, count, 0);
}

void TIdIOHandler::WriteBufferClose()
{
    try {
        WriteBufferFlush(-1);
    } catch (...) {
        FWriteBuffer.reset();
        throw;
    }
    FWriteBuffer.reset();
}

void TIdIOHandler::WriteBufferClear()
{
    if (FWriteBuffer)
        FWriteBuffer->Clear();
}

void TIdIOHandler::WriteBufferCancel()
{
    WriteBufferClear();
    WriteBufferClose();
}

// --- Class registry --------------------------------------------------------------------

std::vector<TIdIOHandler::TIdIOHandlerClassRef>& TIdIOHandler::RegisteredClasses()
{
    static std::vector<TIdIOHandlerClassRef> classes;
    return classes;
}

std::optional<TIdIOHandler::TIdIOHandlerClassRef>& TIdIOHandler::DefaultClassRef()
{
    static std::optional<TIdIOHandlerClassRef> defaultClass;
    return defaultClass;
}

void TIdIOHandler::AddToRegistry(const TIdIOHandlerClassRef& AClass)
{
    // A class registered again counts as the most recent one.
    auto& classes = RegisteredClasses();
    classes.erase(std::remove_if(classes.begin(), classes.end(),
                                 [&](const TIdIOHandlerClassRef& c) { return c.Id == AClass.Id; }),
                  classes.end());
    classes.push_back(AClass);
}

void TIdIOHandler::SetDefaultClassRef(const TIdIOHandlerClassRef& AClass)
{
    DefaultClassRef() = AClass;
    AddToRegistry(AClass);
}

std::unique_ptr<TIdIOHandler> TIdIOHandler::MakeDefaultIOHandler()
{
    const auto& defaultClass = DefaultClassRef();
    if (!defaultClass)
        EIdException::Toss(Format(u"No IOHandler of type %s is installed.", {ClassName()}));
    return defaultClass->Create();
}

TIdIOHandler& TIdIOHandler::MakeDefaultIOHandler(TComponent& AOwner)
{
    std::unique_ptr<TIdIOHandler> handler = MakeDefaultIOHandler();
    TIdIOHandler& ref = *handler;
    AOwner.InsertComponent(std::move(handler));
    return ref;
}
