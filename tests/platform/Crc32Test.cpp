#include "platform/Crc32.h"

#include <gtest/gtest.h>
#include <vector>

using orvant::platform::Crc32;

// The values are Python's zlib.crc32 of the same bytes; the lengths straddle the
// 64-byte blocks the folding takes, its 16-byte steps and the tail left to zlib.
TEST(Crc32, MatchesZlibOnEveryKindOfLengthAndContinuesAcrossPieces)
{
    const std::vector<std::pair<std::size_t, std::uint32_t>> expected = {
        {0, 0x00000000},   {1, 0x4B0BBE37},    {15, 0x7C619EDC},   {63, 0xB7350C2A},   {64, 0xCBD9ECF0},
        {65, 0x6D195777},  {79, 0xF8BDAEAC},   {80, 0x3F42D103},   {127, 0xEFB66DAA},  {128, 0xBD5D2E01},
        {1000, 0x17BC2A46}, {8192, 0xB65EF7BF}, {65573, 0xD217BBB6}};
    std::vector<unsigned char> bytes(65573 + 1);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    std::vector<unsigned char> shifted(bytes.size() + 1); // the same bytes at an odd address
    std::copy(bytes.begin(), bytes.end(), shifted.begin() + 1);
    for (const auto& [size, crc] : expected) {
        EXPECT_EQ(Crc32(0, bytes.data(), size), crc) << size;
        EXPECT_EQ(Crc32(0, shifted.data() + 1, size), crc) << size;
        for (const std::size_t cut : {std::size_t {1}, size / 3, size - size % 64}) {
            if (cut > size)
                continue;
            EXPECT_EQ(Crc32(Crc32(0, bytes.data(), cut), bytes.data() + cut, size - cut), crc) << size << " " << cut;
        }
    }
    const char check[] = "123456789";
    EXPECT_EQ(Crc32(0, check, 9), 0xCBF43926u); // the CRC-32 check value
}
