// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "mime/IdCoderBinHex4.h"

#include "smtp/IdException.h"

#include <algorithm>

namespace {

constexpr std::size_t kLineLength = 64;
constexpr std::uint8_t kRunMarker = 0x90;

std::uint16_t Crc16(std::uint16_t crc, const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (bytes[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// The three stages after the CRCs: run-length compression (a run of one byte
// becomes the byte, 0x90 and the run's length; a literal 0x90 becomes 0x90 0x00),
// the 3-to-4 characters, and the lines with their colons.
class TBinHexWriter {
public:
    TBinHexWriter(const TIdEncoder3to4& coder, TStream& destination)
        : FCoder(coder), FDestination(destination)
    {
        static constexpr std::string_view kIntro = "(This file must be converted with BinHex 4.0)\r\n\r\n:";
        FOut.assign(kIntro.begin(), kIntro.end());
        FColumn = 1;
    }

    void Put(const std::uint8_t* bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if (FRunLength > 0 && bytes[i] == FRunByte && FRunLength < 255) {
                ++FRunLength;
            } else {
                EndRun();
                FRunByte = bytes[i];
                FRunLength = 1;
            }
        }
    }

    void Finish()
    {
        EndRun();
        if (FGroupLength > 0)
            Characters(FGroup, FGroupLength);
        FGroupLength = 0;
        if (FColumn == kLineLength)
            NewLine();
        FOut.insert(FOut.end(), {':', '\r', '\n'});
        Flush();
    }

private:
    void EndRun()
    {
        if (FRunLength == 0)
            return;
        Compressed(FRunByte);
        if (FRunByte == kRunMarker)
            Compressed(0x00);
        std::size_t repeats = FRunLength - 1;
        if (repeats >= (FRunByte == kRunMarker ? 1u : 3u)) {
            Compressed(kRunMarker);
            Compressed(static_cast<std::uint8_t>(FRunLength));
            repeats = 0;
        }
        for (; repeats > 0; --repeats) {
            Compressed(FRunByte);
            if (FRunByte == kRunMarker)
                Compressed(0x00);
        }
        FRunLength = 0;
    }

    void Compressed(std::uint8_t b)
    {
        FGroup[FGroupLength++] = b;
        if (FGroupLength == 3) {
            Characters(FGroup, 3);
            FGroupLength = 0;
        }
    }

    void Characters(const std::uint8_t* group, std::size_t count)
    {
        std::uint8_t chars[4];
        const std::size_t n = FCoder.EncodeBlock(group, count, chars);
        for (std::size_t i = 0; i < n; ++i) {
            if (FColumn == kLineLength)
                NewLine();
            FOut.push_back(chars[i]);
            ++FColumn;
        }
    }

    void NewLine()
    {
        FOut.push_back('\r');
        FOut.push_back('\n');
        FColumn = 0;
        if (FOut.size() >= 64 * 1024)
            Flush();
    }

    void Flush()
    {
        FDestination.WriteBuffer(FOut.data(), static_cast<std::int64_t>(FOut.size()));
        FOut.clear();
    }

    const TIdEncoder3to4& FCoder;
    TStream& FDestination;
    TIdBytes FOut;
    std::size_t FColumn = 0;
    std::uint8_t FRunByte = 0;
    std::size_t FRunLength = 0;
    std::uint8_t FGroup[3] = {};
    std::size_t FGroupLength = 0;
};

void PutBigEndian(TIdBytes& out, std::uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

TIdEncoderBinHex4::TIdEncoderBinHex4(TIdCreationKey key)
    : TIdEncoder3to4(key)
{
    // No fill character: a last group of 1 or 2 bytes gives 2 or 3 characters.
    SetCodingTable("!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr", 0);
}

void TIdEncoderBinHex4::Encode(TStream& source, TStream& destination, std::int64_t byteCount)
{
    // The header holds the data fork's length, so it is taken from the stream first.
    const std::int64_t remaining = std::max<std::int64_t>(0, source.Size() - source.Position());
    const std::int64_t length = byteCount < 0 ? remaining : std::min(byteCount, remaining);
    if (length > 0xFFFFFFFFLL)
        EIdException::Toss(u"BinHex 4.0 cannot hold more than 4 GiB");

    TIdBytes name = IndyTextEncoding_8Bit()->GetBytes(ExtractFileName(FFileName));
    name.resize(std::min<std::size_t>(name.size(), 63));
    TIdBytes header;
    header.push_back(static_cast<std::uint8_t>(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    header.push_back(0); // version
    header.insert(header.end(), {'?', '?', '?', '?', '?', '?', '?', '?'}); // type, creator
    header.insert(header.end(), {0, 0});                                   // Finder flags
    PutBigEndian(header, static_cast<std::uint32_t>(length), 4);
    PutBigEndian(header, 0, 4); // resource fork
    PutBigEndian(header, Crc16(0, header.data(), header.size()), 2);

    TBinHexWriter writer(*this, destination);
    writer.Put(header.data(), header.size());
    TIdBytes block(64 * 1024);
    std::uint16_t crc = 0;
    std::int64_t done = 0;
    ForEachBlock(source, length, block, [&](const std::uint8_t* bytes, std::size_t count) {
        crc = Crc16(crc, bytes, count);
        writer.Put(bytes, count);
        done += static_cast<std::int64_t>(count);
    });
    // The header announced the length; a source that ends early cannot keep that promise.
    if (done != length)
        throw EReadError(u"Stream read error");
    TIdBytes trailer;
    PutBigEndian(trailer, crc, 2);
    PutBigEndian(trailer, 0, 2); // CRC of the empty resource fork
    writer.Put(trailer.data(), trailer.size());
    writer.Finish();
}
