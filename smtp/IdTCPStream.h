#pragma once
// TIdTCPStream: a connection seen as a stream, for code that writes through streams
// (the attachment encoder). Writes go to the connection's I/O handler, optionally
// collected in a write buffer that the stream opens on its first write; reads take
// exactly the requested number of bytes. The stream has no size or position.

#include "mime/IdStream.h"

#include <cstdint>

class TIdTCPConnection;

class TIdTCPStream : public TStream {
public:
    // With AWriteThreshold above 0 the first write opens write buffering on the
    // handler (unless it already buffers) that sends whenever that many bytes wait.
    explicit TIdTCPStream(TIdTCPConnection& AConnection, std::int32_t AWriteThreshold = 0);
    // Closes the buffering the stream opened, which sends what is left. Its failure
    // cannot leave a destructor: call CloseWriteBuffering first to see it. While an
    // exception unwinds, the unsent bytes are dropped instead.
    ~TIdTCPStream() override;

    // Reads exactly count bytes (waiting for them).
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // Does nothing: a connection has no position.
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    TIdTCPConnection& Connection() const { return *FConnection; }
    std::int32_t WriteThreshold() const { return FWriteThreshold; }
    // Sends what the stream's own write buffering holds and ends it.
    void CloseWriteBuffering();

private:
    TIdTCPConnection* FConnection;
    std::int32_t FWriteThreshold;
    bool FWriteBufferOpenedHere = false;
    int FUncaughtExceptions;
    // Reused for every write, so writing allocates nothing per call.
    TIdBytes FChunk;
};
