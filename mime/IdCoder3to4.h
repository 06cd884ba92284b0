#pragma once
// Coders that turn every 3 bytes into 4 characters of a 64-character table: base64,
// UUE, XXE and BinHex 4 differ only in the table, the fill character and the framing
// around the characters.

#include "mime/IdCoder.h"

#include <array>
#include <string_view>
#include <vector>

class TIdEncoder3to4 : public TIdEncoder {
public:
    explicit TIdEncoder3to4(TIdCreationKey key) : TIdEncoder(key) {}

    // The characters of the bytes, no line breaks.
    void Encode(TStream& source, TStream& destination, std::int64_t byteCount = -1) override;

    // The inner loop, for callers that frame the characters themselves: writes the
    // characters of count bytes to out and returns how many. Each group of 3 bytes
    // gives 4 characters; a last group of 2 bytes ends in one fill character, of 1
    // byte in two (without a fill character, the last group stops after its bits).
    std::size_t EncodeBlock(const std::uint8_t* in, std::size_t count, std::uint8_t* out) const;
    // Room EncodeBlock needs for count bytes.
    static constexpr std::size_t MaxEncodedLength(std::size_t count) { return (count + 2) / 3 * 4; }

    const TIdBytes& CodingTable() const { return FCodingTable; }
    char FillChar() const { return FFillChar; }

protected:
    // Called by each coder's constructor; fillChar 0 means no fill character.
    void SetCodingTable(std::string_view table, char fillChar);

    TIdBytes FCodingTable;
    char FFillChar = 0;

private:
    // Any 12 bits -> their two characters, so a group of 3 bytes takes two lookups.
    std::vector<std::array<std::uint8_t, 2>> FPairs;
    // The standard base64 table on a CPU with a vector unit for it.
    bool FVectorPath = false;
};
