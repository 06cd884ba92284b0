#include "smtp/IdBuffer.h"

#include "mime/IdStream.h"
#include "net/IdStack.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr std::int64_t kMaxQueueSize = std::numeric_limits<std::int32_t>::max();
// Storage the queue keeps allocated when it empties; more is given back, so one
// large transfer does not pin its peak memory for the handler's life.
constexpr std::size_t kRetainedStorage = 64 * 1024;

[[noreturn]] void RaiseInvalidStart()
{
    EIdException::Toss(u"Buffer start position is invalid.");
}

void ReleaseSpareStorage(TIdBytes& bytes)
{
    if (bytes.capacity() - bytes.size() > kRetainedStorage)
        bytes.shrink_to_fit();
}

} // namespace

TIdBuffer::TIdBuffer()
{
    // Like every component of the library, a queue keeps the socket stack alive.
    TIdStack::IncUsage();
}

TIdBuffer::TIdBuffer(std::int32_t AGrowthFactor)
    : TIdBuffer()
{
    SetGrowthFactor(AGrowthFactor);
}

TIdBuffer::TIdBuffer(TIdBufferBytesRemoved AOnBytesRemoved)
    : TIdBuffer()
{
    OnBytesRemoved = std::move(AOnBytesRemoved);
}

TIdBuffer::TIdBuffer(const TIdBytes& ABytes, std::int32_t ALength)
    : TIdBuffer()
{
    const auto available = static_cast<std::int64_t>(ABytes.size());
    const std::int64_t length = ALength < 0 ? available : std::min<std::int64_t>(ALength, available);
    if (length > kMaxQueueSize)
        EIdException::Toss<EIdTooMuchDataInBuffer>(u"Too much data in buffer.");
    Write(ABytes.data(), static_cast<std::int32_t>(length));
}

TIdBuffer::~TIdBuffer()
{
    TIdStack::DecUsage();
}

void TIdBuffer::SetCapacity(std::int32_t AValue)
{
    if (AValue < FSize)
        EIdException::Toss(u"Capacity cannot be smaller than Size");
    CompactHead(false);
    FBytes.resize(static_cast<std::size_t>(AValue));
    ReleaseSpareStorage(FBytes);
}

void TIdBuffer::SetGrowthFactor(std::int32_t AValue)
{
    FGrowthFactor = std::max<std::int32_t>(AValue, 0);
}

void TIdBuffer::Clear()
{
    FBytes.clear();
    ReleaseSpareStorage(FBytes);
    FHeadIndex = 0;
    FSize = 0;
}

void TIdBuffer::Write(const TIdBytes& ABytes, std::int32_t ALength, std::int32_t AOffset, std::int32_t ADestIndex)
{
    const auto total = static_cast<std::int64_t>(ABytes.size());
    if (AOffset < 0 || AOffset >= total)
        return;
    const std::int64_t available = total - AOffset;
    const std::int64_t length = ALength < 0 ? available : std::min<std::int64_t>(ALength, available);
    if (length > kMaxQueueSize)
        EIdException::Toss<EIdTooMuchDataInBuffer>(u"Too much data in buffer.");
    Write(ABytes.data() + AOffset, static_cast<std::int32_t>(length), ADestIndex);
}

void TIdBuffer::Write(const std::uint8_t* AData, std::int32_t ALength, std::int32_t ADestIndex)
{
    if (ALength <= 0)
        return;
    if (static_cast<std::int64_t>(FSize) + ALength > kMaxQueueSize)
        EIdException::Toss<EIdTooMuchDataInBuffer>(u"Too much data in buffer.");
    if (ADestIndex > FSize)
        RaiseInvalidStart();
    // Bytes taken from this very queue would move under our feet: copy them first.
    if (!FBytes.empty() && AData >= FBytes.data() && AData < FBytes.data() + FBytes.size()) {
        const TIdBytes copy(AData, AData + ALength);
        Write(copy.data(), ALength, ADestIndex);
        return;
    }
    if (FSize == 0) {
        FBytes.assign(AData, AData + ALength);
        FHeadIndex = 0;
        FSize = ALength;
        return;
    }
    const bool atTail = ADestIndex < 0 || ADestIndex == FSize;
    if (atTail && AppendGrowing(AData, ALength))
        return;
    MakeRoomAtTail(ALength);
    std::uint8_t* data = FBytes.data();
    if (ADestIndex >= 0 && ADestIndex < FSize)
        std::memmove(data + ADestIndex + ALength, data + ADestIndex, static_cast<std::size_t>(FSize - ADestIndex));
    else
        ADestIndex = FSize;
    std::memcpy(data + ADestIndex, AData, static_cast<std::size_t>(ALength));
    FSize += ALength;
}

void TIdBuffer::Write(StringView AString, const IIdTextEncodingPtr& AByteEncoding, std::int32_t ADestIndex)
{
    const TIdBytes bytes = TextEncoding(AByteEncoding)->GetBytes(AString);
    Write(bytes, -1, 0, ADestIndex);
}

bool TIdBuffer::AppendGrowing(const std::uint8_t* AData, std::int32_t ALength)
{
    CompactHead(false);
    if (Capacity() - FSize >= ALength)
        return false;
    // The same storage as MakeRoomAtTail leaves, but the bytes are copied in as the
    // storage grows instead of being zero-filled first and copied over after: on a
    // write buffer that sends and refills a threshold at a time this was a second
    // pass over every byte.
    const std::int64_t wanted = std::min<std::int64_t>(static_cast<std::int64_t>(FSize) + ALength + FGrowthFactor,
                                                       kMaxQueueSize);
    FBytes.resize(static_cast<std::size_t>(FSize));
    FBytes.insert(FBytes.end(), AData, AData + ALength);
    FBytes.resize(static_cast<std::size_t>(wanted));
    FSize += ALength;
    return true;
}

void TIdBuffer::MakeRoomAtTail(std::int32_t ALength)
{
    CompactHead(false);
    if (Capacity() - FSize < ALength) {
        const std::int64_t wanted = std::min<std::int64_t>(static_cast<std::int64_t>(FSize) + ALength + FGrowthFactor,
                                                           kMaxQueueSize);
        // std::vector grows its allocation geometrically underneath, so a queue fed in
        // small appends is not copied over and over.
        FBytes.resize(static_cast<std::size_t>(wanted));
    }
}

std::int32_t TIdBuffer::IndexOf(std::uint8_t AByte, std::int32_t AStartPos) const
{
    return IndexOf(TIdBytes{AByte}, AStartPos);
}

std::int32_t TIdBuffer::IndexOf(const TIdBytes& ABytes, std::int32_t AStartPos) const
{
    if (FSize == 0)
        return -1;
    if (ABytes.empty())
        EIdException::Toss(u"Buffer terminator must be specified.");
    if (AStartPos < 0 || AStartPos >= FSize)
        RaiseInvalidStart();
    const auto patternLength = static_cast<std::int32_t>(std::min<std::size_t>(ABytes.size(), kMaxQueueSize));
    if (patternLength > FSize - AStartPos)
        return -1;
    const std::uint8_t* hay = Head();
    const std::int32_t last = FSize - patternLength;
    std::int32_t pos = AStartPos;
    while (pos <= last) {
        const void* hit = std::memchr(hay + pos, ABytes[0], static_cast<std::size_t>(last - pos + 1));
        if (!hit)
            return -1;
        const auto found = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - hay);
        if (std::memcmp(hay + found + 1, ABytes.data() + 1, static_cast<std::size_t>(patternLength - 1)) == 0)
            return found;
        pos = found + 1;
    }
    return -1;
}

std::int32_t TIdBuffer::IndexOf(StringView AString, std::int32_t AStartPos,
                                const IIdTextEncodingPtr& AByteEncoding) const
{
    return IndexOf(TextEncoding(AByteEncoding)->GetBytes(AString), AStartPos);
}

std::uint8_t TIdBuffer::PeekByte(std::int32_t AIndex) const
{
    if (AIndex < 0 || AIndex >= FSize)
        RaiseInvalidStart();
    return Head()[AIndex];
}

void TIdBuffer::Remove(std::int32_t AByteCount)
{
    if (AByteCount == 0 || FSize == 0)
        return;
    if (AByteCount < 0 || AByteCount >= FSize) {
        AByteCount = FSize;
        Clear();
    } else {
        FHeadIndex += AByteCount;
        FSize -= AByteCount;
        if (FHeadIndex > FGrowthFactor)
            CompactHead(true);
    }
    if (OnBytesRemoved)
        OnBytesRemoved(this, AByteCount);
}

void TIdBuffer::CompactHead(bool ACanShrink)
{
    if (FHeadIndex > 0) {
        if (FSize > 0)
            std::memmove(FBytes.data(), Head(), static_cast<std::size_t>(FSize));
        FHeadIndex = 0;
    }
    if (ACanShrink) {
        const std::int64_t keep = std::min<std::int64_t>(static_cast<std::int64_t>(FSize) + FGrowthFactor, kMaxQueueSize);
        if (Capacity() > keep) {
            FBytes.resize(static_cast<std::size_t>(keep));
            ReleaseSpareStorage(FBytes);
        }
    }
}

std::int32_t TIdBuffer::CheckedExtractCount(std::int32_t AByteCount, std::int32_t AIndex) const
{
    const std::int32_t start = AIndex < 0 ? 0 : AIndex;
    if (start > FSize)
        RaiseInvalidStart();
    const std::int32_t available = FSize - start;
    if (AByteCount < 0)
        return available;
    if (AByteCount > available)
        EIdException::Toss<EIdNotEnoughDataInBuffer>(
            Format(u"Not enough data in buffer. (%d/%d)", {std::int64_t{AByteCount}, std::int64_t{available}}));
    return AByteCount;
}

void TIdBuffer::ExtractRaw(void* AOut, std::int32_t ACount, std::int32_t AIndex)
{
    if (ACount <= 0)
        return;
    std::memcpy(AOut, Head() + std::max<std::int32_t>(AIndex, 0), static_cast<std::size_t>(ACount));
    if (AIndex < 0)
        Remove(ACount);
}

void TIdBuffer::ExtractToBytes(TIdBytes& VBytes, std::int32_t AByteCount, bool AAppend, std::int32_t AIndex)
{
    const std::int32_t count = CheckedExtractCount(AByteCount, AIndex);
    if (!AAppend)
        VBytes.clear();
    if (count <= 0)
        return;
    // Copied in as the array grows: no zero-fill to be overwritten.
    const std::uint8_t* from = Head() + std::max<std::int32_t>(AIndex, 0);
    VBytes.insert(VBytes.end(), from, from + count);
    if (AIndex < 0)
        Remove(count);
}

String TIdBuffer::ExtractToString(std::int32_t AByteCount, const IIdTextEncodingPtr& AByteEncoding, std::int32_t AIndex)
{
    const std::int32_t count = CheckedExtractCount(AByteCount, AIndex);
    if (count == 0)
        return {};
    String text = TextEncoding(AByteEncoding)->GetString(Head() + std::max<std::int32_t>(AIndex, 0),
                                                         static_cast<std::size_t>(count));
    if (AIndex < 0)
        Remove(count);
    return text;
}

void TIdBuffer::ExtractToStream(TStream& AStream, std::int32_t AByteCount, std::int32_t AIndex)
{
    const std::int32_t count = CheckedExtractCount(AByteCount, AIndex);
    if (count == 0)
        return;
    AStream.WriteBuffer(Head() + std::max<std::int32_t>(AIndex, 0), count);
    if (AIndex < 0)
        Remove(count);
}

void TIdBuffer::ExtractToIdBuffer(TIdBuffer& ABuffer, std::int32_t AByteCount, std::int32_t AIndex)
{
    const std::int32_t count = CheckedExtractCount(AByteCount, AIndex);
    if (count == 0)
        return;
    ABuffer.Write(Head() + std::max<std::int32_t>(AIndex, 0), count);
    if (AIndex < 0)
        Remove(count);
}

template <class T>
T TIdBuffer::ExtractFixed(std::int32_t AIndex)
{
    T value{};
    ExtractRaw(&value, CheckedExtractCount(sizeof value, AIndex), AIndex);
    return value;
}

std::uint8_t TIdBuffer::ExtractToByte(std::int32_t AIndex)
{
    return ExtractFixed<std::uint8_t>(AIndex);
}

std::uint16_t TIdBuffer::ExtractToWord(std::int32_t AIndex)
{
    return ExtractFixed<std::uint16_t>(AIndex);
}

std::uint32_t TIdBuffer::ExtractToLongWord(std::int32_t AIndex)
{
    return ExtractFixed<std::uint32_t>(AIndex);
}

std::uint64_t TIdBuffer::ExtractToInt64(std::int32_t AIndex)
{
    return ExtractFixed<std::uint64_t>(AIndex);
}

std::array<std::uint16_t, 8> TIdBuffer::ExtractToIPv6(std::int32_t AIndex)
{
    return ExtractFixed<std::array<std::uint16_t, 8>>(AIndex);
}

void TIdBuffer::SaveToStream(TStream& AStream) const
{
    if (FSize > 0)
        AStream.WriteBuffer(Head(), FSize);
}

IIdTextEncodingPtr TIdBuffer::TextEncoding(const IIdTextEncodingPtr& AByteEncoding) const
{
    return AByteEncoding ? AByteEncoding : EnsureEncoding(FEncoding);
}
