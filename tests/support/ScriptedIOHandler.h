#pragma once
// TScriptedIOHandler: an I/O handler over a scripted in-memory peer, for tests of
// everything that reads and writes through an I/O handler.
//
// The script is what the peer does, step by step, as the handler asks for data:
// deliver a chunk of bytes, stay silent until the wait ends (a time-out), close the
// connection, or fail with a socket error code. Everything the handler sends is
// recorded, send call by send call; sends can be limited to a few bytes per call
// and made to fail or close after a given number of bytes.
//
// Its CheckForDisconnect, Close and error reporting behave like the socket
// handler's: a peer's close or a failure closes the handler, and a lost connection
// raises "Connection Closed Gracefully." when asked to and nothing is buffered.
//
// Header-only (no test framework inside) so that fuzz targets can use it as well.

#include "smtp/IdExceptionCore.h"
#include "smtp/IdIOHandler.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TScriptedIOHandler : public TIdIOHandler {
public:
    explicit TScriptedIOHandler(TIdCreationKey key) : TIdIOHandler(key) {}

    static String ClassName() { return u"TScriptedIOHandler"; }

    // --- The peer's script ---------------------------------------------------------
    TScriptedIOHandler& Receive(std::string_view bytes)
    {
        FScript.push_back({TStep::Kind::Data, TIdBytes(bytes.begin(), bytes.end()), 0});
        return *this;
    }
    TScriptedIOHandler& Receive(const TIdBytes& bytes)
    {
        FScript.push_back({TStep::Kind::Data, bytes, 0});
        return *this;
    }
    // The next wait for data ends without data.
    TScriptedIOHandler& Timeout()
    {
        FScript.push_back({TStep::Kind::Timeout, {}, 0});
        return *this;
    }
    // The peer closes: the receive returns 0.
    TScriptedIOHandler& PeerClose()
    {
        FScript.push_back({TStep::Kind::Close, {}, 0});
        return *this;
    }
    // The receive fails with a socket error code (10054, 10060, ...).
    TScriptedIOHandler& Failure(std::int32_t code)
    {
        FScript.push_back({TStep::Kind::Failure, {}, code});
        return *this;
    }
    bool ScriptDone() const { return FScript.empty(); }
    std::size_t StepsLeft() const { return FScript.size(); }

    // --- What the handler did -------------------------------------------------------
    std::string Sent() const { return std::string(FSent.begin(), FSent.end()); }
    const std::vector<std::string>& SendCalls() const { return FSendCalls; }
    std::vector<std::int32_t> ReadableWaits; // AMSec of every Readable call
    int ReceiveCalls = 0;
    int CloseCalls = 0;

    // --- Send behaviour --------------------------------------------------------------
    std::int32_t MaxSendChunk = 0; // bytes accepted per send call; 0: all
    // After this many bytes in total, sends fail with SendFailureCode, or return 0
    // (the peer closed) when the code is 0. Negative: never.
    std::int64_t SendLimit = -1;
    std::int32_t SendFailureCode = 0;

    // --- Transport -------------------------------------------------------------------
    void Open() override
    {
        TIdIOHandler::Open();
        FHasSource = true;
    }
    void Close() override
    {
        ++CloseCalls;
        FHasSource = false;
        TIdIOHandler::Close();
    }
    bool Readable(std::int32_t AMSec) override
    {
        ReadableWaits.push_back(AMSec);
        if (FScript.empty()) {
            if (AMSec == IdTimeoutInfinite)
                throw std::logic_error("scripted peer: the script is used up and the handler would wait for ever");
            return false;
        }
        if (FScript.front().kind == TStep::Kind::Timeout) {
            FScript.pop_front();
            return false;
        }
        return true;
    }
    // Like the socket handler: first takes in whatever is waiting, so a close by the
    // peer is noticed; buffered bytes keep the connection alive until they are read.
    bool Connected() override
    {
        FillInputBuffer(false, 0, false);
        return (FHasSource && TIdIOHandler::Connected()) || InputBuffer().Size() > 0;
    }
    void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false) override
    {
        bool lost = !FHasSource;
        if (ClosedGracefully()) {
            if (FHasSource)
                Close();
            lost = true;
        }
        if (lost && ARaiseExceptionIfDisconnected && (AIgnoreBuffer || InputBuffer().Size() == 0))
            RaiseConnectionClosed();
    }

protected:
    std::int32_t ReceiveFromSource(TIdBytes& VBuffer) override
    {
        ++ReceiveCalls;
        if (FScript.empty())
            return 0;
        TStep& step = FScript.front();
        switch (step.kind) {
        case TStep::Kind::Data: {
            const std::size_t n = std::min(VBuffer.size(), step.bytes.size());
            std::copy_n(step.bytes.begin(), n, VBuffer.begin());
            step.bytes.erase(step.bytes.begin(), step.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            if (step.bytes.empty())
                FScript.pop_front();
            return static_cast<std::int32_t>(n);
        }
        case TStep::Kind::Failure:
            FLastError = step.code;
            FScript.pop_front();
            return -1;
        case TStep::Kind::Close:
        case TStep::Kind::Timeout:
            FScript.pop_front();
            return 0;
        }
        return 0;
    }
    std::int32_t SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) override
    {
        std::int64_t n = ALength;
        if (MaxSendChunk > 0)
            n = std::min<std::int64_t>(n, MaxSendChunk);
        if (SendLimit >= 0) {
            n = std::min<std::int64_t>(n, SendLimit - static_cast<std::int64_t>(FSent.size()));
            if (n <= 0) {
                FLastError = SendFailureCode;
                return SendFailureCode == 0 ? 0 : -1;
            }
        }
        const auto first = ABuffer.begin() + AOffset;
        FSent.insert(FSent.end(), first, first + n);
        FSendCalls.emplace_back(first, first + n);
        return static_cast<std::int32_t>(n);
    }
    bool HasSource() const override { return FHasSource; }
    std::int32_t TranslateTransportError(std::int32_t) override { return FLastError; }
    void RaiseTransportError(std::int32_t AError) override
    {
        throw EIdSocketError(AError, Format(u"Socket Error # %d", {std::int64_t{AError}}));
    }

private:
    struct TStep {
        enum class Kind { Data, Timeout, Close, Failure } kind;
        TIdBytes bytes;
        std::int32_t code;
    };
    std::deque<TStep> FScript;
    TIdBytes FSent;
    std::vector<std::string> FSendCalls;
    bool FHasSource = false;
    std::int32_t FLastError = 0;
};

// A scripted handler, opened, with the given peer script to fill in.
inline std::unique_ptr<TScriptedIOHandler> MakeScriptedIOHandler()
{
    auto handler = MakeComponent<TScriptedIOHandler>();
    handler->Open();
    return handler;
}
