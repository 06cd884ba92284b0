#include "mime/IdStream.h"
#include "smtp/IdBuffer.h"
#include "smtp/IdExceptionCore.h"
#include "support/RaisedMessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <numeric>

namespace {

TIdBytes Bytes(std::string_view text)
{
    return TIdBytes(text.begin(), text.end());
}

TIdBytes Counting(std::size_t n)
{
    TIdBytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

} // namespace

TEST(IdBuffer, RemovingFromTheHeadShiftsPositionsAndReportsTheCount)
{
    std::vector<std::int32_t> removed;
    TIdBuffer buffer([&](TIdBuffer*, std::int32_t n) { removed.push_back(n); });
    buffer.Write(Counting(10));
    buffer.Remove(4);
    EXPECT_EQ(buffer.Size(), 6);
    EXPECT_EQ(buffer.PeekByte(0), 4);
    EXPECT_EQ(buffer.IndexOf(std::uint8_t{4}), 0);
    EXPECT_EQ(buffer.IndexOf(TIdBytes{8, 9}), 4);
    EXPECT_EQ(removed, (std::vector<std::int32_t>{4}));

    TIdBytes out;
    buffer.ExtractToBytes(out, 2);
    EXPECT_EQ(out, (TIdBytes{4, 5}));
    buffer.Remove(-1); // negative: everything
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(removed, (std::vector<std::int32_t>{4, 2, 4}));
}

TEST(IdBuffer, PatternStraddlingTheTailIsFoundOnlyOnceComplete)
{
    TIdBuffer buffer;
    buffer.Write(Bytes("250 OK\r"));
    EXPECT_EQ(buffer.IndexOf(Bytes("\r\n")), -1);
    buffer.Write(Bytes("\n"));
    EXPECT_EQ(buffer.IndexOf(Bytes("\r\n")), 6);
    EXPECT_EQ(buffer.IndexOf(Bytes("\r\n"), 6), 6);
    EXPECT_EQ(buffer.IndexOf(Bytes("\r\n"), 7), -1);
    EXPECT_EQ(buffer.IndexOf(u"OK"), 4);
}

TEST(IdBuffer, SearchArgumentsAreCheckedOnlyOnANonEmptyQueue)
{
    TIdBuffer buffer;
    EXPECT_EQ(buffer.IndexOf(TIdBytes{}), -1);
    EXPECT_EQ(buffer.IndexOf(Bytes("x"), 99), -1);
    buffer.Write(Bytes("abc"));
    EXPECT_EQ(RaisedMessage([&] { buffer.IndexOf(TIdBytes{}); }), u"Buffer terminator must be specified.");
    EXPECT_EQ(RaisedMessage([&] { buffer.IndexOf(Bytes("c"), 3); }), u"Buffer start position is invalid.");
    EXPECT_EQ(RaisedMessage([&] { buffer.IndexOf(Bytes("c"), -1); }), u"Buffer start position is invalid.");
}

TEST(IdBuffer, ExtractingMoreThanQueuedNamesBothCounts)
{
    TIdBuffer buffer(Counting(6));
    TIdBytes out;
    try {
        buffer.ExtractToBytes(out, 10);
        FAIL() << "nothing raised";
    } catch (const EIdNotEnoughDataInBuffer& e) {
        EXPECT_EQ(e.Message(), u"Not enough data in buffer. (10/6)");
    }
    EXPECT_EQ(buffer.Size(), 6);
    EXPECT_THROW(buffer.ExtractToWord(5), EIdNotEnoughDataInBuffer);
}

TEST(IdBuffer, CapacityCannotDropBelowSize)
{
    TIdBuffer buffer(Counting(100));
    buffer.Remove(10);
    EXPECT_EQ(RaisedMessage([&] { buffer.SetCapacity(89); }), u"Capacity cannot be smaller than Size");
    buffer.SetCapacity(90);
    EXPECT_EQ(buffer.Capacity(), 90);
    EXPECT_EQ(buffer.PeekByte(0), 10);
    EXPECT_EQ(buffer.PeekByte(89), 99);
    buffer.SetCapacity(500);
    EXPECT_EQ(buffer.Capacity(), 500);
    EXPECT_EQ(buffer.Size(), 90);
}

TEST(IdBuffer, GrowsWithSpareBytesAndCompactsAfterGrowthFactorConsumedBytes)
{
    TIdBuffer buffer(16);
    buffer.Write(Counting(10)); // into an empty queue: storage = exactly the bytes
    EXPECT_EQ(buffer.Capacity(), 10);
    buffer.Write(Counting(5)); // tail too short: size + new + growth factor
    EXPECT_EQ(buffer.Capacity(), 10 + 5 + 16);
    TIdBytes grown;
    buffer.ExtractToBytes(grown, 7, false, 8); // from an index: copied, not removed
    EXPECT_EQ(grown, (TIdBytes{8, 9, 0, 1, 2, 3, 4}));
    buffer.Write(Counting(5)); // fits in the spare bytes
    EXPECT_EQ(buffer.Capacity(), 31);

    buffer.Remove(16); // head at 16: not beyond the growth factor, nothing moves
    EXPECT_EQ(buffer.Capacity(), 31);
    buffer.Remove(1); // head beyond it: compacted, spare beyond 16 bytes released
    EXPECT_EQ(buffer.Size(), 3);
    EXPECT_EQ(buffer.Capacity(), 3 + 16);
    TIdBytes out;
    buffer.ExtractToBytes(out);
    EXPECT_EQ(out, (TIdBytes{2, 3, 4}));
}

TEST(IdBuffer, ExtractsFromAnIndexCopyAndFromTheHeadRemove)
{
    TIdBuffer buffer(Bytes("hello world"));
    TIdBytes out{'>'};
    buffer.ExtractToBytes(out, 5, true, 6);
    EXPECT_EQ(out, Bytes(">world"));
    EXPECT_EQ(buffer.Size(), 11);
    buffer.ExtractToBytes(out, 5, false);
    EXPECT_EQ(out, Bytes("hello"));
    EXPECT_EQ(buffer.Size(), 6);
    EXPECT_EQ(buffer.ExtractToString(3, nullptr, 1), u"wor");
    EXPECT_EQ(buffer.ExtractToString(), u" world");
    EXPECT_EQ(buffer.Size(), 0);
}

TEST(IdBuffer, WritesAtAnIndexInsertBeforeIt)
{
    TIdBuffer buffer(Bytes("xxHELLO"));
    buffer.Remove(2);
    buffer.Write(Bytes(", "), -1, 0, 2);
    buffer.Write(u"!");
    buffer.Write(Bytes(">>"), -1, 0, 0);
    EXPECT_EQ(buffer.ExtractToString(), u">>HE, LLO!");
    EXPECT_EQ(RaisedMessage([&] { buffer.Write(Bytes("a"), -1, 0, 1); }), u"Buffer start position is invalid.");
}

TEST(IdBuffer, TextUsesTheGivenEncodingElseTheQueuesElseASCII)
{
    TIdBuffer buffer;
    buffer.Write(u"ç", IndyTextEncoding_8Bit());
    buffer.Write(u"ç", IndyTextEncoding_UTF8());
    buffer.Write(u"ç"); // no encoding anywhere: 7-bit ASCII turns it into "?"
    TIdBytes all;
    buffer.ExtractToBytes(all, -1, true, 0);
    EXPECT_EQ(all, (TIdBytes{0xE7, 0xC3, 0xA7, '?'}));
    EXPECT_EQ(buffer.ExtractToString(1), u"\uFFFD");
    buffer.SetEncoding(IndyTextEncoding_UTF8());
    EXPECT_EQ(buffer.IndexOf(u"ç"), 0);
    EXPECT_EQ(buffer.ExtractToString(2), u"ç");
    EXPECT_EQ(buffer.ExtractToString(1, IndyTextEncoding_8Bit()), u"?");
}

TEST(IdBuffer, FixedSizeExtractsStreamsAndOtherQueues)
{
    TIdBuffer buffer(Counting(40));
    EXPECT_EQ(buffer.ExtractToByte(), 0);
    const std::uint16_t word = buffer.ExtractToWord(0);
    EXPECT_EQ(word, buffer.ExtractToWord());
    EXPECT_EQ(buffer.PeekByte(0), 3);
    std::uint32_t expected32 = 0;
    const TIdBytes next{3, 4, 5, 6};
    std::memcpy(&expected32, next.data(), 4);
    EXPECT_EQ(buffer.ExtractToLongWord(), expected32);
    buffer.ExtractToInt64();
    const auto ipv6 = buffer.ExtractToIPv6();
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(ipv6.data())[0], 15);
    EXPECT_EQ(buffer.Size(), 40 - 31);

    TMemoryStream saved;
    buffer.SaveToStream(saved);
    EXPECT_EQ(saved.Bytes(), TIdBytes({31, 32, 33, 34, 35, 36, 37, 38, 39}));
    TMemoryStream extracted;
    buffer.ExtractToStream(extracted, 2);
    EXPECT_EQ(extracted.Bytes(), TIdBytes({31, 32}));
    TIdBuffer other(Bytes("<"));
    buffer.ExtractToIdBuffer(other, 3);
    buffer.ExtractToIdBuffer(buffer, 2, 0); // a queue may copy its own bytes
    EXPECT_EQ(other.Size(), 4);
    EXPECT_EQ(other.PeekByte(3), 35);
    EXPECT_EQ(buffer.Size(), 6);
    EXPECT_EQ(buffer.PeekByte(4), 36);
}

TEST(IdBuffer, RefusesToGrowBeyondTheLargest32BitSize)
{
    TIdBuffer buffer(Bytes("x"));
    const std::uint8_t byte = 0;
    // The size is checked before any byte is read, so the length may exceed the data.
    EXPECT_EQ(RaisedMessage([&] { buffer.Write(&byte, std::numeric_limits<std::int32_t>::max()); }),
              u"Too much data in buffer.");
    EXPECT_EQ(buffer.Size(), 1);
}

TEST(IdBuffer, ClearEmptiesWithoutReportingRemovedBytes)
{
    int reports = 0;
    TIdBuffer buffer([&](TIdBuffer*, std::int32_t) { ++reports; });
    buffer.Write(Counting(5));
    buffer.Clear();
    buffer.Remove(3); // nothing queued: nothing to report
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(reports, 0);
}
