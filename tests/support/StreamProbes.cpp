#include "support/StreamProbes.h"

#include "smtp/IdException.h"

#include <algorithm>

std::uint8_t TGeneratedStream::ByteAt(std::int64_t position) const
{
    // A 32-bit mix of seed and position: cheap, and every byte value occurs.
    std::uint32_t x = FSeed ^ static_cast<std::uint32_t>(position * 2654435761u);
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<std::uint8_t>(x >> 7);
}

std::int64_t TGeneratedStream::Read(void* buffer, std::int64_t count)
{
    LargestRead = std::max(LargestRead, count);
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, FSize - FPosition));
    if (FailAfter >= 0 && FPosition + n > FailAfter)
        throw EReadError(u"Cannot read file \"test\". Input/output error");
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::int64_t i = 0; i < n; ++i)
        out[i] = ByteAt(FPosition + i);
    FPosition += n;
    return n;
}

std::int64_t TGeneratedStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPosition : FSize;
    FPosition = std::clamp<std::int64_t>(base + offset, 0, FSize);
    return FPosition;
}

std::int64_t TProbeSink::Write(const void* buffer, std::int64_t count)
{
    FTotal += count;
    FLargestWrite = std::max(FLargestWrite, count);
    if (OnWrite)
        OnWrite(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(count));
    return count;
}
