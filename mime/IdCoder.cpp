#include "mime/IdCoder.h"

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
