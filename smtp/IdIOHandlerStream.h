#pragma once
// TIdIOHandlerStream: an I/O handler over a pair of streams instead of a network
// connection. What is written goes to SendStream, what is read comes from
// ReceiveStream; the end of ReceiveStream counts as the peer closing. The message
// record uses it to write a message into a file or memory exactly as it would go
// on the wire.
//
// The streams belong to the caller and must outlive their use here. Without a
// SendStream written bytes are dropped; without a ReceiveStream reading finds the
// connection closed. Call Open before use, as with any handler.

#include "smtp/IdIOHandler.h"

class TStream;

class TIdIOHandlerStream : public TIdIOHandler {
public:
    explicit TIdIOHandlerStream(TIdCreationKey key, TStream* AReceiveStream = nullptr, TStream* ASendStream = nullptr)
        : TIdIOHandler(key)
        , FReceiveStream(AReceiveStream)
        , FSendStream(ASendStream)
    {
    }

    static String ClassName() { return u"TIdIOHandlerStream"; }

    TStream* ReceiveStream() const { return FReceiveStream; }
    void SetReceiveStream(TStream* AValue) { FReceiveStream = AValue; }
    TStream* SendStream() const { return FSendStream; }
    void SetSendStream(TStream* AValue) { FSendStream = AValue; }

    void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false) override;
    // A stream never makes the reader wait.
    bool Readable(std::int32_t AMSec = IdTimeoutDefault) override;

protected:
    std::int32_t ReceiveFromSource(TIdBytes& VBuffer) override;
    std::int32_t SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) override;
    bool HasSource() const override { return Opened(); }
    // Streams report their failures as exceptions of their own, so no transport
    // error codes arise here.
    std::int32_t TranslateTransportError(std::int32_t AResult) override { return AResult; }
    void RaiseTransportError(std::int32_t AError) override;

private:
    TStream* FReceiveStream;
    TStream* FSendStream;
};
