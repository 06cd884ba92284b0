#include "mime/IdCoder.h"

#include <algorithm>

std::size_t ReadUpTo(TStream& source, std::uint8_t* buffer, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t n = source.Read(buffer + done, static_cast<std::int64_t>(count - done));
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void ForEachBlock(TStream& source, std::int64_t byteCount, TIdBytes& buffer,
                  const std::function<void(const std::uint8_t* bytes, std::size_t count)>& consume)
{
    std::uint64_t left = byteCount < 0 ? UINT64_MAX : static_cast<std::uint64_t>(byteCount);
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left));
        const std::size_t n = ReadUpTo(source, buffer.data(), want);
        if (n == 0)
            break;
        consume(buffer.data(), n);
        left -= n;
        if (n < want)
            break;
    }
}
