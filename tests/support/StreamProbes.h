#pragma once
// Streams that let tests watch how code reads and writes: a source that makes its
// bytes as it is read (so a test can feed megabytes without holding them) and a sink
// that keeps only what the test asks for.

#include "mime/IdStream.h"

#include <cstdint>
#include <functional>

// Size bytes of a fixed pseudo-random sequence (the same for the same seed); it can
// be told to fail with EReadError once a given number of bytes has been read.
class TGeneratedStream : public TStream {
public:
    TGeneratedStream(std::int64_t size, std::uint32_t seed) : FSize(size), FSeed(seed) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    // The byte at a position, for checking what a consumer received.
    std::uint8_t ByteAt(std::int64_t position) const;

    std::int64_t FailAfter = -1;       // read error once this many bytes were delivered
    std::int64_t LargestRead = 0;      // the largest count a caller asked for

private:
    std::int64_t FSize;
    std::uint32_t FSeed;
    std::int64_t FPosition = 0;
};

// Hands every write to OnWrite (when set) and counts bytes and the largest write.
class TProbeSink : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FTotal; }

    std::function<void(const std::uint8_t* bytes, std::size_t count)> OnWrite;
    std::int64_t Total() const { return FTotal; }
    std::int64_t LargestWrite() const { return FLargestWrite; }

private:
    std::int64_t FTotal = 0;
    std::int64_t FLargestWrite = 0;
};
