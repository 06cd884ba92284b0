#include "mime/IdCoderMIME.h"
#include "mime/IdMessageCoderMIME.h"
#include "smtp/IdException.h"
#include "support/ExternalProgram.h"
#include "support/StreamProbes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string EncodeMessage(const TIdBytes& data)
{
    TMemoryStream source(data);
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderMIME>()->Encode(source, out);
    return std::string(out.Bytes().begin(), out.Bytes().end());
}

TIdBytes RandomBytes(std::size_t count, std::mt19937& random)
{
    TIdBytes bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

} // namespace

TEST(IdCoderMIME, EncodesTheRfc4648Vectors)
{
    EXPECT_EQ(TIdEncoderMIME::EncodeString(u"Man"), u"TWFu");
    const std::pair<const char16_t*, const char16_t*> vectors[] = {
        {u"", u""},          {u"f", u"Zg=="},         {u"fo", u"Zm8="},         {u"foo", u"Zm9v"},
        {u"foob", u"Zm9vYg=="}, {u"fooba", u"Zm9vYmE="}, {u"foobar", u"Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(TIdEncoderMIME::EncodeString(plain), encoded);
        EXPECT_EQ(TIdDecoderMIME::DecodeString(encoded), plain);
    }
    // Text becomes bytes in the given encoding, 8-bit when none is given.
    EXPECT_EQ(TIdEncoderMIME::EncodeString(u"ç"), u"5w==");
    EXPECT_EQ(TIdEncoderMIME::EncodeString(u"ç", IndyTextEncoding_UTF8()), u"w6c=");
    EXPECT_EQ(TIdEncoderMIME::EncodeBytes({0xFB, 0xFF}), u"+/8=");
}

TEST(IdCoderMIME, CoderTakesAtMostTheRequestedBytesFromThePosition)
{
    TMemoryStream source(TIdBytes{'x', 'M', 'a', 'n', 'y'});
    source.SetPosition(1);
    EXPECT_EQ(TIdEncoderMIME::EncodeStream(source, 3), u"TWFu");
    EXPECT_EQ(source.Position(), 4);
    EXPECT_EQ(TIdEncoderMIME::EncodeStream(source, 100), u"eQ==");
    EXPECT_EQ(TIdEncoderMIME::EncodeStream(source), u"");

    TStringList lines;
    TIdEncoderMIME::EncodeString(u"Man", lines);
    EXPECT_EQ(lines.Count(), 1);
    EXPECT_EQ(lines[0], u"TWFu");
}

TEST(IdCoderMIME, DecoderSkipsLineBreaksAndStopsAtPadding)
{
    EXPECT_EQ(TIdDecoderMIME::DecodeString(u"TW\r\nFu\r\n"), u"Man");
    EXPECT_EQ(TIdDecoderMIME::DecodeString(u"Zg==TWFu"), u"f");
    EXPECT_EQ(TIdDecoderMIME::DecodeString(u"Zm8"), u"fo"); // padding missing
    EXPECT_EQ(TIdDecoderMIME::DecodeString(u"w6c=", IndyTextEncoding_UTF8()), u"ç");
    EXPECT_TRUE(TIdDecoderMIME::DecodeBytes(u"Z").empty());
}

TEST(IdMessageCoderMIME, CutsLinesOf76CharactersFrom57Bytes)
{
    EXPECT_EQ(EncodeMessage({}), "");

    const TIdBytes bytes57(57, 0xA5);
    const std::string one = EncodeMessage(bytes57);
    ASSERT_EQ(one.size(), 78u);
    EXPECT_EQ(one.substr(76), "\r\n");
    EXPECT_EQ(one.substr(0, 76), ToUtf8(TIdEncoderMIME::EncodeBytes(bytes57)));

    TIdBytes bytes58 = bytes57;
    bytes58.push_back(0xFF);
    const std::string two = EncodeMessage(bytes58);
    EXPECT_EQ(two, one + "/w==\r\n");
}

TEST(IdMessageCoderMIME, StartsAtTheBeginningOfTheSource)
{
    TMemoryStream source(TIdBytes{'M', 'a', 'n'});
    source.Seek(0, TSeekOrigin::soEnd);
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderMIME>()->Encode(source, out);
    EXPECT_EQ(BytesToStringRaw(out.Bytes()), u"TWFu\r\n");

    TStringList lines;
    MakeComponent<TIdMessageEncoderMIME>()->Encode(source, lines);
    EXPECT_EQ(lines.Count(), 1);
    EXPECT_EQ(lines[0], u"TWFu");
}

TEST(IdMessageCoderMIME, AgreesWithPythonOnRandomDataOfManyLengths)
{
    std::mt19937 random(2026);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 240; ++length)
        lengths.push_back(length);
    // Around the encoder's internal block of 1024 lines.
    for (std::size_t length : {57u * 1024 - 1, 57u * 1024, 57u * 1024 + 1, 57u * 2048 + 2, 300000u})
        lengths.push_back(length);
    std::vector<std::string> inputs;
    std::vector<std::string> ours;
    for (std::size_t length : lengths) {
        const TIdBytes data = RandomBytes(length, random);
        inputs.emplace_back(data.begin(), data.end());
        ours.push_back(EncodeMessage(data));
    }

    // Python's encoder makes the expected lines.
    const std::vector<std::string> expected = RunPythonOnEach(R"(
import base64
def convert(data):
    b64 = base64.b64encode(data)
    return b''.join(b64[i:i + 76] + b'\r\n' for i in range(0, len(b64), 76))
)",
                                                              inputs);
    ASSERT_EQ(expected.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        EXPECT_TRUE(ours[i] == expected[i]) << "length " << lengths[i];
    // And its decoder gives the data back.
    const std::vector<std::string> decoded = RunPythonOnEach("import base64\nconvert = base64.b64decode\n", ours);
    ASSERT_EQ(decoded.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        EXPECT_TRUE(decoded[i] == inputs[i]) << "length " << lengths[i];
}

TEST(IdMessageCoderMIME, OutputDecodesWithTheBase64Command)
{
    TGeneratedStream source(1 << 20, 7);
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderMIME>()->Encode(source, out);
    const TProgramResult decoded =
        RunProgram({"base64", "--decode", "--ignore-garbage"}, std::string(out.Bytes().begin(), out.Bytes().end()));
    ASSERT_EQ(decoded.ExitCode, 0);
    ASSERT_EQ(decoded.Output.size(), std::size_t(1) << 20);
    for (std::size_t i = 0; i < decoded.Output.size(); ++i)
        ASSERT_EQ(static_cast<std::uint8_t>(decoded.Output[i]), source.ByteAt(static_cast<std::int64_t>(i))) << i;
}

TEST(IdMessageCoderMIME, StreamsLargeSourcesInBoundedBlocks)
{
    // 64 MiB pass through without the encoder holding more than a block of them.
    const std::int64_t size = 64ll << 20;
    TGeneratedStream source(size, 1);
    TProbeSink sink;
    std::size_t column = 0;
    std::int64_t shortLines = 0; // lines of other than 76 characters and CR
    std::size_t lastLine = 0;
    sink.OnWrite = [&](const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (bytes[i] == '\n') {
                shortLines += column != 77;
                lastLine = column;
                column = 0;
            } else {
                ++column;
            }
        }
    };
    MakeComponent<TIdMessageEncoderMIME>()->Encode(source, sink);
    EXPECT_EQ(shortLines, 1);
    EXPECT_EQ(lastLine, std::size_t((size % 57 + 2) / 3 * 4 + 1));
    const std::int64_t lines = size / 57 + 1;
    EXPECT_EQ(sink.Total(), (size / 3 + 1) * 4 + 2 * lines);
    EXPECT_LE(source.LargestRead, 128 * 1024);
    EXPECT_LE(sink.LargestWrite(), 128 * 1024);
}

TEST(IdMessageCoderMIME, ReadErrorsPassThrough)
{
    TGeneratedStream source(1 << 20, 3);
    source.FailAfter = 200000;
    TProbeSink sink;
    EXPECT_THROW(MakeComponent<TIdMessageEncoderMIME>()->Encode(source, sink), EReadError);
    EXPECT_LT(sink.Total(), 200000 * 4 / 3 + 4096);
}
