#pragma once
// TIdBuffer: the byte queue behind an I/O handler's input and write buffers.
//
// Bytes are appended at the tail and consumed from the head. Consuming only moves
// the head index; the unread bytes are moved back to the front once more than
// GrowthFactor bytes have been consumed (or before an append), so a long stream of
// small reads costs one move per GrowthFactor bytes, never one per read.
//
// Positions and counts are relative to the head. A negative byte count means
// "everything queued"; an index below 0 means the head, and extracts from the head
// remove what they return, while extracts from a given index only copy.

#include "mime/IdGlobal.h"
#include "mime/IdTextEncoding.h"

#include <array>
#include <cstdint>
#include <functional>

class TStream;
class TIdBuffer;

using TIdBufferBytesRemoved = std::function<void(TIdBuffer* ASender, std::int32_t ABytes)>;

class TIdBuffer {
public:
    static constexpr std::int32_t DefaultGrowthFactor = 2048;

    TIdBuffer();
    explicit TIdBuffer(std::int32_t AGrowthFactor);
    explicit TIdBuffer(TIdBufferBytesRemoved AOnBytesRemoved);
    // A queue holding the first ALength bytes of ABytes (all of them when negative).
    explicit TIdBuffer(const TIdBytes& ABytes, std::int32_t ALength = -1);
    ~TIdBuffer();
    TIdBuffer(const TIdBuffer&) = delete;
    TIdBuffer& operator=(const TIdBuffer&) = delete;

    // Called after bytes leave the queue (Remove and the extracts from the head).
    TIdBufferBytesRemoved OnBytesRemoved;

    // Number of queued bytes.
    std::int32_t Size() const { return FSize; }
    // Length of the storage. Setting it below Size raises EIdException.
    std::int32_t Capacity() const { return static_cast<std::int32_t>(FBytes.size()); }
    void SetCapacity(std::int32_t AValue);
    std::int32_t GrowthFactor() const { return FGrowthFactor; }
    void SetGrowthFactor(std::int32_t AValue);
    // Used for text without an explicit encoding; none: the library default.
    const IIdTextEncodingPtr& Encoding() const { return FEncoding; }
    void SetEncoding(IIdTextEncodingPtr AValue) { FEncoding = std::move(AValue); }

    // Empties the queue without reporting removed bytes.
    void Clear();

    // Appends ALength bytes of ABytes starting at AOffset (a negative length: to the
    // end of the array), or inserts them before position ADestIndex when it is 0 or
    // more. Raises EIdTooMuchDataInBuffer when the queue would pass 2^31-1 bytes.
    void Write(const TIdBytes& ABytes, std::int32_t ALength = -1, std::int32_t AOffset = 0,
               std::int32_t ADestIndex = -1);
    void Write(const std::uint8_t* AData, std::int32_t ALength, std::int32_t ADestIndex = -1);
    void Write(StringView AString, const IIdTextEncodingPtr& AByteEncoding = nullptr,
               std::int32_t ADestIndex = -1);

    // Position of the first occurrence at or after AStartPos, or -1. On a non-empty
    // queue an empty pattern or a start outside 0..Size-1 raises EIdException.
    std::int32_t IndexOf(std::uint8_t AByte, std::int32_t AStartPos = 0) const;
    std::int32_t IndexOf(const TIdBytes& ABytes, std::int32_t AStartPos = 0) const;
    std::int32_t IndexOf(StringView AString, std::int32_t AStartPos = 0,
                         const IIdTextEncodingPtr& AByteEncoding = nullptr) const;

    std::uint8_t PeekByte(std::int32_t AIndex) const;

    // Drops AByteCount bytes from the head (all when negative or more than queued).
    void Remove(std::int32_t AByteCount);
    // Moves the unread bytes to the front; with ACanShrink, storage beyond
    // GrowthFactor spare bytes is released.
    void CompactHead(bool ACanShrink = true);

    // Extracts raise EIdNotEnoughDataInBuffer when more bytes are asked for than
    // are queued (from the index).
    void ExtractToBytes(TIdBytes& VBytes, std::int32_t AByteCount = -1, bool AAppend = true,
                        std::int32_t AIndex = -1);
    String ExtractToString(std::int32_t AByteCount = -1, const IIdTextEncodingPtr& AByteEncoding = nullptr,
                           std::int32_t AIndex = -1);
    void ExtractToStream(TStream& AStream, std::int32_t AByteCount = -1, std::int32_t AIndex = -1);
    void ExtractToIdBuffer(TIdBuffer& ABuffer, std::int32_t AByteCount = -1, std::int32_t AIndex = -1);
    // The fixed-size extracts copy the bytes as they stand (no byte-order change);
    // the I/O handler converts from network order where it is asked to.
    std::uint8_t ExtractToByte(std::int32_t AIndex = -1);
    std::uint16_t ExtractToWord(std::int32_t AIndex = -1);
    std::uint32_t ExtractToLongWord(std::int32_t AIndex = -1);
    std::uint64_t ExtractToInt64(std::int32_t AIndex = -1);
    std::array<std::uint16_t, 8> ExtractToIPv6(std::int32_t AIndex = -1);

    // Writes every queued byte to the stream; the queue is unchanged.
    void SaveToStream(TStream& AStream) const;

private:
    const std::uint8_t* Head() const { return FBytes.data() + FHeadIndex; }
    // The range [head + index, head + index + count) after the rules above; raises
    // when it is not inside the queue.
    std::int32_t CheckedExtractCount(std::int32_t AByteCount, std::int32_t AIndex) const;
    // Copies count bytes at index into out, then removes them when index < 0.
    void ExtractRaw(void* AOut, std::int32_t ACount, std::int32_t AIndex);
    template <class T>
    T ExtractFixed(std::int32_t AIndex);
    void MakeRoomAtTail(std::int32_t ALength);
    // Appends when the storage must grow for it; false (nothing done) when it need not.
    bool AppendGrowing(const std::uint8_t* AData, std::int32_t ALength);
    IIdTextEncodingPtr TextEncoding(const IIdTextEncodingPtr& AByteEncoding) const;

    TIdBytes FBytes;
    IIdTextEncodingPtr FEncoding;
    std::int32_t FGrowthFactor = DefaultGrowthFactor;
    std::int32_t FHeadIndex = 0;
    std::int32_t FSize = 0;
};
