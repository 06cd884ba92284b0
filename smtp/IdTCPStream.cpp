#include "smtp/IdTCPStream.h"

#include "smtp/IdTCPConnection.h"

#include <algorithm>
#include <cstring>
#include <exception>

TIdTCPStream::TIdTCPStream(TIdTCPConnection& AConnection, std::int32_t AWriteThreshold)
    : FConnection(&AConnection)
    , FWriteThreshold(AWriteThreshold)
    , FUncaughtExceptions(std::uncaught_exceptions())
{
}

TIdTCPStream::~TIdTCPStream()
{
    if (!FWriteBufferOpenedHere)
        return;
    try {
        TIdIOHandler* io = FConnection->IOHandler();
        if (io && std::uncaught_exceptions() > FUncaughtExceptions)
            io->WriteBufferCancel();
        else
            CloseWriteBuffering();
    } catch (...) {
        // A destructor must not throw; the broken connection surfaces at the next
        // read or write of the conversation.
    }
}

void TIdTCPStream::CloseWriteBuffering()
{
    if (!FWriteBufferOpenedHere)
        return;
    FWriteBufferOpenedHere = false;
    if (TIdIOHandler* io = FConnection->IOHandler())
        io->WriteBufferClose();
}

std::int64_t TIdTCPStream::Read(void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    TIdIOHandler& io = *FConnection->IOHandler();
    std::int64_t done = 0;
    // The handler reads at most a 32-bit count at a time.
    while (done < count) {
        const auto part = static_cast<std::int32_t>(std::min<std::int64_t>(count - done, INT32_MAX));
        FChunk.clear();
        io.ReadBytes(FChunk, part, false);
        std::memcpy(static_cast<std::uint8_t*>(buffer) + done, FChunk.data(), FChunk.size());
        done += static_cast<std::int64_t>(FChunk.size());
    }
    return done;
}

std::int64_t TIdTCPStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    TIdIOHandler& io = *FConnection->IOHandler();
    if (FWriteThreshold > 0 && !FWriteBufferOpenedHere && !io.WriteBufferingActive()) {
        io.WriteBufferOpen(FWriteThreshold);
        FWriteBufferOpenedHere = true;
    }
    // With its own threshold the stream hands over at most that much at a time: the
    // handler then sends each full threshold as it arrives, instead of sending the
    // front of a large block and moving the rest forward, again and again.
    const std::int64_t piece = FWriteBufferOpenedHere ? FWriteThreshold : INT32_MAX;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t part = std::min<std::int64_t>(count - done, piece);
        FChunk.assign(bytes + done, bytes + done + part);
        io.Write(FChunk);
        done += part;
    }
    return count;
}

std::int64_t TIdTCPStream::Seek(std::int64_t, TSeekOrigin)
{
    return 0;
}
