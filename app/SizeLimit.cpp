#include "app/SizeLimit.h"

#include "mail/IdMessage.h"
#include "mime/IdStream.h"

#include <algorithm>

namespace orvant::app {

namespace {

// Counts what is written and keeps nothing.
class TCountingStream final : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override
    {
        FSize += count;
        return count;
    }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FSize; }
    std::int64_t Size() override { return FSize; }

private:
    std::int64_t FSize = 0;
};

} // namespace

std::uint64_t ServerSizeLimit(const TStrings& capabilities)
{
    for (std::int32_t i = 0; i < capabilities.Count(); ++i) {
        String line = Trim(capabilities[i]);
        const String keyword = Fetch(line, u" ");
        if (TextIsSame(keyword, u"SIZE")) {
            const std::int64_t value = StrToInt64Def(Trim(line), 0);
            return value > 0 ? static_cast<std::uint64_t>(value) : 0;
        }
    }
    return 0;
}

std::uint64_t EffectiveSizeLimit(std::uint64_t server, std::uint64_t configured)
{
    if (server == 0 || configured == 0)
        return std::max(server, configured);
    return std::min(server, configured);
}

std::uint64_t ExactMessageSize(TIdMessage& message)
{
    TCountingStream counter;
    message.SaveToStream(counter);
    return static_cast<std::uint64_t>(counter.Size());
}

std::uint64_t VolumeSizeFor(std::uint64_t limit, std::uint64_t overhead)
{
    const std::uint64_t margin = limit / 100 + 4096;
    if (limit <= overhead + margin)
        return 0;
    return (limit - overhead - margin) / 78 * 57;
}

} // namespace orvant::app
