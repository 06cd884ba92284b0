#include "mime/IdCoderBinHex4.h"
#include "mime/IdCoderUUE.h"
#include "mime/IdCoderXXE.h"
#include "mime/IdMessageCoderBinHex4.h"
#include "mime/IdMessageCoderMIME.h"
#include "mime/IdMessageCoderQuotedPrintable.h"
#include "mime/IdMessageCoderUUE.h"
#include "mime/IdMessageCoderXXE.h"
#include "smtp/IdException.h"
#include "support/ExternalProgram.h"
#include "support/StreamProbes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Encode(TIdMessageEncoder& encoder, const std::string& data)
{
    TMemoryStream source(TIdBytes(data.begin(), data.end()));
    TMemoryStream out;
    encoder.Encode(source, out);
    return std::string(out.Bytes().begin(), out.Bytes().end());
}

std::string RandomData(std::size_t count, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::string data(count, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    return data;
}

// Python's uudecode: binascii.a2b_uu of every line between "begin" and "end",
// after mapping the xxencode table onto the uuencode one for XXE. Gives the mode,
// the name and the data.
const char* const kUudecode = R"(
import binascii
def decode(text, xx):
    lines = text.split(b'\r\n')
    assert lines[-1] == b'' and lines[-2] == b'end', lines[-3:]
    header = lines[0].split(b' ', 2)
    assert header[0] == b'begin', header
    xxtable = b'+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'
    uutable = bytes([0x60]) + bytes(range(33, 96))
    data = b''
    for line in lines[1:-2]:
        if xx:
            line = line.translate(bytes.maketrans(xxtable, uutable))
        data += binascii.a2b_uu(line)
    return header[1] + b' ' + header[2] + b'\n' + data
def convert(text):
    return decode(text, False)
def convert_xx(text):
    return decode(text, True)
)";

// An independent BinHex 4.0 reader: 6-bit characters, run-length expansion, header,
// forks and their CRCs (binascii.crc_hqx).
const char* const kBinHexDecode = R"(
import binascii
def convert(text):
    intro = b'(This file must be converted with BinHex 4.0)\r\n\r\n'
    assert text.startswith(intro), text[:60]
    lines = text[len(intro):].split(b'\r\n')
    assert lines[-1] == b'' and all(len(l) <= 64 for l in lines), [len(l) for l in lines]
    body = b''.join(lines)
    assert body[0:1] == b':' and body[-1:] == b':'
    table = b'!"#$%&\'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr'
    bits, nbits, packed = 0, 0, bytearray()
    for c in body[1:-1]:
        bits = (bits << 6) | table.index(c)
        nbits += 6
        if nbits >= 8:
            nbits -= 8
            packed.append((bits >> nbits) & 0xFF)
    raw, i, last = bytearray(), 0, None
    while i < len(packed):
        b = packed[i]
        if b == 0x90:
            n = packed[i + 1]
            i += 2
            if n == 0:
                raw.append(0x90)
                last = 0x90
            else:
                raw.extend([last] * (n - 1))
        else:
            raw.append(b)
            last = b
            i += 1
    n = raw[0]
    head = raw[:1 + n + 1 + 4 + 4 + 2 + 4 + 4]
    name = raw[1:1 + n]
    dlen = int.from_bytes(head[-8:-4], 'big')
    rlen = int.from_bytes(head[-4:], 'big')
    pos = len(head)
    assert int.from_bytes(raw[pos:pos + 2], 'big') == binascii.crc_hqx(head, 0), 'header crc'
    pos += 2
    data = raw[pos:pos + dlen]
    pos += dlen
    assert int.from_bytes(raw[pos:pos + 2], 'big') == binascii.crc_hqx(data, 0), 'data crc'
    pos += 2
    assert rlen == 0 and raw[pos:pos + 2] == b'\0\0' and pos + 2 == len(raw), 'resource fork'
    assert head[1 + n:1 + n + 9] == b'\0????????', head
    return bytes(name) + b'\n' + bytes(data)
)";

} // namespace

TEST(IdMessageEncoderList, FindsTheBuiltInEncodersByNameWithoutRegardToCase)
{
    const TStringList names = TIdMessageEncoderList::Names();
    ASSERT_GE(names.Count(), 5);
    EXPECT_EQ(names[0], u"MIME");
    EXPECT_EQ(names[1], u"binhex4");
    EXPECT_EQ(names[2], u"QP");
    EXPECT_EQ(names[3], u"UUE");
    EXPECT_EQ(names[4], u"XXE");

    EXPECT_NE(dynamic_cast<const TIdMessageEncoderInfoMIME*>(&TIdMessageEncoderList::ByName(u"mime")), nullptr);
    EXPECT_NE(dynamic_cast<TIdMessageEncoderMIME*>(TIdMessageEncoderList::ByName(u"Mime").CreateMessageEncoder().get()), nullptr);
    EXPECT_NE(dynamic_cast<TIdMessageEncoderBinHex4*>(TIdMessageEncoderList::ByName(u"BINHEX4").CreateMessageEncoder().get()), nullptr);
    EXPECT_NE(dynamic_cast<TIdMessageEncoderQuotedPrintable*>(TIdMessageEncoderList::ByName(u"qp").CreateMessageEncoder().get()), nullptr);
    EXPECT_NE(dynamic_cast<TIdMessageEncoderUUE*>(TIdMessageEncoderList::ByName(u"uue").CreateMessageEncoder().get()), nullptr);
    EXPECT_NE(dynamic_cast<TIdMessageEncoderXXE*>(TIdMessageEncoderList::ByName(u"xxe").CreateMessageEncoder().get()), nullptr);

    try {
        TIdMessageEncoderList::ByName(u"yEnc");
        FAIL() << "no exception";
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), u"Message encoder not found: yEnc");
    }
}

TEST(IdMessageEncoderList, ANameRegisteredTwiceKeepsItsFirstDescription)
{
    TIdMessageEncoderList::RegisterEncoder(u"X-Orvant", std::make_unique<TIdMessageEncoderInfoXXE>());
    TIdMessageEncoderList::RegisterEncoder(u"x-orvant", std::make_unique<TIdMessageEncoderInfoUUE>());
    EXPECT_NE(dynamic_cast<const TIdMessageEncoderInfoXXE*>(&TIdMessageEncoderList::ByName(u"X-ORVANT")), nullptr);
    EXPECT_NE(dynamic_cast<const TIdMessageEncoderInfoMIME*>(&TIdMessageEncoderList::ByName(u"MIME")), nullptr);
}

TEST(IdMessageEncoderInfoMIME, ContentTypeFollowsThePartsAMessageHolds)
{
    EXPECT_EQ(TIdMessageEncoderInfoMIME::ContentTypeForParts(1, 1, 1), u"multipart/related; type=\"multipart/alternative\"");
    EXPECT_EQ(TIdMessageEncoderInfoMIME::ContentTypeForParts(0, 1, 1), u"multipart/mixed");
    EXPECT_EQ(TIdMessageEncoderInfoMIME::ContentTypeForParts(0, 0, 2), u"multipart/alternative");
    EXPECT_EQ(TIdMessageEncoderInfoMIME::ContentTypeForParts(0, 0, 0), u"");
}

TEST(IdMessageEncoder, EncodesAFileByNameAndIntoLines)
{
    const orvant::test::TTempDir dir;
    const auto path = dir.WriteFile("03.7z", "Man");
    auto encoder = MakeComponent<TIdMessageEncoderMIME>();
    EXPECT_EQ(encoder->PermissionCode(), 660);
    TMemoryStream out;
    encoder->Encode(FromUtf8(path.string()), out);
    EXPECT_EQ(BytesToStringRaw(out.Bytes()), u"TWFu\r\n");
    std::filesystem::remove(path);
    EXPECT_THROW(encoder->Encode(FromUtf8(path.string()), out), EFOpenError);

    TMemoryStream source(TIdBytes(114, 'a'));
    TStringList lines;
    encoder->Encode(source, lines);
    ASSERT_EQ(lines.Count(), 2);
    EXPECT_EQ(lines[0].size(), 76u);
    EXPECT_EQ(lines[1].size(), 76u);
}

TEST(IdMessageCoderUUE, WritesWhatUudecodeReads)
{
    auto uue = MakeComponent<TIdMessageEncoderUUE>();
    uue->SetFilename(u"03.7z");
    EXPECT_EQ(Encode(*uue, ""), "begin 660 03.7z\r\n`\r\nend\r\n");
    EXPECT_EQ(Encode(*uue, "Cat"), "begin 660 03.7z\r\n#0V%T\r\n`\r\nend\r\n");

    std::vector<std::string> samples;
    std::vector<std::string> encoded;
    for (std::size_t size : {1u, 2u, 44u, 45u, 46u, 90u, 1000u, 46080u, 100000u}) {
        samples.push_back(RandomData(size, static_cast<std::uint32_t>(size)));
        encoded.push_back(Encode(*uue, samples.back()));
        // One line per 45 bytes, each as long as its bytes need.
        std::size_t pos = encoded.back().find("\r\n") + 2;
        for (std::size_t offset = 0; offset < size; offset += 45) {
            const std::size_t end = encoded.back().find("\r\n", pos);
            ASSERT_EQ(end - pos, 1 + (std::min<std::size_t>(45, size - offset) + 2) / 3 * 4);
            pos = end + 2;
        }
    }
    const std::vector<std::string> decoded = RunPythonOnEach(kUudecode, encoded);
    ASSERT_EQ(decoded.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        EXPECT_TRUE(decoded[i] == "660 03.7z\n" + samples[i]) << samples[i].size() << decoded[i].substr(0, 80);

    // Line by line, the same characters as Python's uuencoder.
    const TProgramResult lines = RunPython(
        "import binascii,sys; d=sys.stdin.buffer.read(); "
        "sys.stdout.buffer.write(b''.join(binascii.b2a_uu(d[i:i+45], backtick=True) for i in range(0, len(d), 45)))",
        RandomData(1000, 5));
    std::string expected = "begin 660 03.7z\r\n";
    for (std::size_t i = 0; i < lines.Output.size(); ++i)
        expected += lines.Output[i] == '\n' ? std::string("\r\n") : std::string(1, lines.Output[i]);
    EXPECT_EQ(Encode(*uue, RandomData(1000, 5)), expected + "`\r\nend\r\n");
}

TEST(IdMessageCoderXXE, UsesTheXxencodeTableInTheSameFraming)
{
    auto xxe = MakeComponent<TIdMessageEncoderXXE>();
    xxe->SetFilename(u"notas.xml");
    xxe->SetPermissionCode(644);
    EXPECT_EQ(Encode(*xxe, "Cat"), "begin 644 notas.xml\r\n1Eq3o\r\n+\r\nend\r\n");
    const std::string data = RandomData(5000, 11);
    const std::string encoded = Encode(*xxe, data);
    const std::size_t firstLine = encoded.find("\r\n") + 2;
    const std::string lines = encoded.substr(firstLine, encoded.size() - 5 - firstLine); // without "end"
    EXPECT_EQ(lines.find_first_not_of("+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\r\n"),
              std::string::npos);
    const std::vector<std::string> decoded = RunPythonOnEach(std::string(kUudecode) + "convert = convert_xx\n", {encoded});
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_TRUE(decoded[0] == "644 notas.xml\n" + data) << decoded[0].substr(0, 80);
    EXPECT_EQ(TIdEncoderXXE::EncodeString(u"Cat"), u"1Eq3o");
}

TEST(IdMessageCoderBinHex4, WritesAFileThatAnIndependentReaderAccepts)
{
    auto binhex = MakeComponent<TIdMessageEncoderBinHex4>();
    binhex->SetFilename(u"Relatório 03.7z");
    // Runs of every length around the compression threshold, runs of the marker byte
    // 0x90 itself, and random data.
    std::string data;
    for (int run = 1; run <= 6; ++run)
        data += std::string(static_cast<std::size_t>(run), 'a') + std::string(static_cast<std::size_t>(run), '\x90') + "b";
    data += std::string(600, '\0') + std::string(300, '\x90') + RandomData(20000, 3);
    const std::vector<std::string> samples = {std::string(), std::string("x"), std::string("xy"), data};
    std::vector<std::string> encoded;
    for (const std::string& sample : samples)
        encoded.push_back(Encode(*binhex, sample));
    const std::vector<std::string> decoded = RunPythonOnEach(kBinHexDecode, encoded);
    ASSERT_EQ(decoded.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        EXPECT_TRUE(decoded[i] == "Relat\xF3rio 03.7z\n" + samples[i]) << samples[i].size() << decoded[i].substr(0, 80);
    // Compression makes long runs short.
    EXPECT_LT(Encode(*binhex, std::string(100000, 'z')).size(), 4000u);
}

TEST(IdMessageEncoders, StreamLargeSourcesInBoundedBlocks)
{
    const std::int64_t size = 8ll << 20;
    std::unique_ptr<TIdMessageEncoder> encoders[] = {
        MakeComponent<TIdMessageEncoderQuotedPrintable>(), MakeComponent<TIdMessageEncoderUUE>(),
        MakeComponent<TIdMessageEncoderXXE>(), MakeComponent<TIdMessageEncoderBinHex4>()};
    for (auto& encoder : encoders) {
        TGeneratedStream source(size, 9);
        TProbeSink sink;
        encoder->Encode(source, sink);
        EXPECT_GT(sink.Total(), size);
        EXPECT_LE(source.LargestRead, 128 * 1024);
        EXPECT_LE(sink.LargestWrite(), 160 * 1024);
    }
}
