#include "smtp/IdIOHandlerStream.h"

#include "mime/IdStream.h"

void TIdIOHandlerStream::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer)
{
    // The end of the receive stream closes the handler, as a peer's close does.
    const bool lost = ClosedGracefully() || !Opened();
    if (ClosedGracefully() && Opened())
        Close();
    if (lost && ARaiseExceptionIfDisconnected && (AIgnoreBuffer || InputBuffer().Size() == 0))
        RaiseConnectionClosed();
}

bool TIdIOHandlerStream::Readable(std::int32_t)
{
    return Opened();
}

std::int32_t TIdIOHandlerStream::ReceiveFromSource(TIdBytes& VBuffer)
{
    if (!FReceiveStream || VBuffer.empty())
        return 0;
    return static_cast<std::int32_t>(FReceiveStream->Read(VBuffer.data(), static_cast<std::int64_t>(VBuffer.size())));
}

std::int32_t TIdIOHandlerStream::SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength)
{
    if (!FSendStream)
        return ALength;
    return static_cast<std::int32_t>(FSendStream->Write(ABuffer.data() + AOffset, ALength));
}

void TIdIOHandlerStream::RaiseTransportError(std::int32_t AError)
{
    EIdException::Toss<EIdClosedSocket>(Format(u"Disconnected. (%d)", {std::int64_t{AError}}));
}
