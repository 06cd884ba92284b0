#include "mime/IdCoderQuotedPrintable.h"
#include "mime/IdMessageCoderQuotedPrintable.h"
#include "support/ExternalProgram.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string QP(std::string_view text)
{
    TMemoryStream source(TIdBytes(text.begin(), text.end()));
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderQuotedPrintable>()->Encode(source, out);
    return std::string(out.Bytes().begin(), out.Bytes().end());
}

const std::string k70(70, 'x');

// Every line end as CR LF, and one after a last line that has none.
std::string NormalLineEnds(const std::string& text)
{
    TStringList lines;
    lines.SetText(BytesToStringRaw(TIdBytes(text.begin(), text.end())));
    const TIdBytes normal = ToBytesRaw(lines.Text());
    return std::string(normal.begin(), normal.end());
}

} // namespace

TEST(IdCoderQuotedPrintable, KeepsPrintableTextAndEscapesTheRest)
{
    EXPECT_EQ(QP("a.b"), "a.b\r\n");
    EXPECT_EQ(QP("a=b"), "a=3Db\r\n");
    EXPECT_EQ(QP("\xE7"), "=E7\r\n");
    EXPECT_EQ(QP(std::string("\x00\x1F\x7F", 3)), "=00=1F=7F\r\n");
    EXPECT_EQ(QP("!\"#$%&'()*+,-./09:;<>?@AZ[\\]^_`az{|}~"), "!\"#$%&'()*+,-./09:;<>?@AZ[\\]^_`az{|}~\r\n");
    // The text conveniences take text as 8-bit bytes unless told otherwise.
    EXPECT_EQ(TIdEncoderQuotedPrintable::EncodeString(u"ç"), u"=E7\r\n");
    EXPECT_EQ(TIdEncoderQuotedPrintable::EncodeString(u"ç", IndyTextEncoding_UTF8()), u"=C3=A7\r\n");
}

TEST(IdCoderQuotedPrintable, NoLineStartsWithAFullStop)
{
    EXPECT_EQ(QP(".abc"), "=2Eabc\r\n");
    EXPECT_EQ(QP("."), "=2E\r\n");
    EXPECT_EQ(QP("a\r\n.\r\n"), "a\r\n=2E\r\n");
    // Also after a soft break.
    EXPECT_EQ(QP(k70 + ".b"), k70 + "=\r\n=2Eb\r\n");
}

TEST(IdCoderQuotedPrintable, BlanksAreEncodedOnlyAtTheEndOfALine)
{
    EXPECT_EQ(QP("abc "), "abc=20\r\n");
    EXPECT_EQ(QP("abc\t"), "abc=09\r\n");
    EXPECT_EQ(QP("a b\t c  \r\nd"), "a b\t c =20\r\nd\r\n");
    EXPECT_EQ(QP(" "), "=20\r\n");
    EXPECT_EQ(QP(" \n"), "=20\r\n");
}

TEST(IdCoderQuotedPrintable, SoftBreaksAfterSeventyCharacters)
{
    const std::string letters(100, 'a');
    EXPECT_EQ(QP(letters), std::string(70, 'a') + "=\r\n" + std::string(30, 'a') + "\r\n");
    // A line that ends exactly at 70 gets a soft break and then an empty line.
    EXPECT_EQ(QP(k70), k70 + "=\r\n\r\n");
    // An escape that crosses 70 stays whole: the line reaches 72 before its "=".
    EXPECT_EQ(QP(std::string(69, 'x') + "=y"), std::string(69, 'x') + "=3D=\r\ny\r\n");
    // A blank at column 70 is not the line's last character, so it stays a blank.
    EXPECT_EQ(QP(std::string(69, 'x') + " z"), std::string(69, 'x') + " =\r\nz\r\n");
}

TEST(IdCoderQuotedPrintable, EveryKindOfLineEndBecomesCrLf)
{
    EXPECT_EQ(QP(""), "");
    EXPECT_EQ(QP("abc"), "abc\r\n");
    EXPECT_EQ(QP("a\rb\nc\r\nd\r"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(QP("\r\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(QP("\n\r"), "\r\n\r\n");

    // A CR at the end of one read block and its LF at the start of the next are one
    // line end; a blank before them is still the last character of its line.
    std::string text(64 * 1024 - 2, 'q');
    for (std::size_t i = 60; i < text.size(); i += 61)
        text[i] = '\n';
    text += " \r\nend";
    const std::string out = QP(text);
    EXPECT_EQ(out.substr(out.size() - 11), "q=20\r\nend\r\n");
}

TEST(IdCoderQuotedPrintable, MessageEncoderStartsAtTheCurrentPosition)
{
    TMemoryStream source(TIdBytes{'a', 'b', '=', 'c'});
    source.SetPosition(2);
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderQuotedPrintable>()->Encode(source, out);
    EXPECT_EQ(BytesToStringRaw(out.Bytes()), u"=3Dc\r\n");

    // The coder itself takes only the bytes it is asked for.
    source.SetPosition(0);
    EXPECT_EQ(TIdEncoderQuotedPrintable::EncodeStream(source, 2), u"ab\r\n");
}

TEST(IdCoderQuotedPrintable, DecoderUndoesTheEncoding)
{
    EXPECT_EQ(TIdDecoderQuotedPrintable::DecodeString(u"=2Eabc=20\r\n"), u".abc \r\n");
    EXPECT_EQ(TIdDecoderQuotedPrintable::DecodeString(u"ab=\r\ncd"), u"abcd");
    EXPECT_EQ(TIdDecoderQuotedPrintable::DecodeString(u"a=e7b  \r\n"), u"a\u00E7b\r\n");
    EXPECT_EQ(TIdDecoderQuotedPrintable::DecodeString(u"=C3=A7", IndyTextEncoding_UTF8()), u"ç");
    // A stray "=" stays as it is.
    EXPECT_EQ(TIdDecoderQuotedPrintable::DecodeString(u"a=zb=4"), u"a=zb=4");
}

TEST(IdCoderQuotedPrintable, AgreesWithPythonOnRandomText)
{
    // Text-like random data: letters, blanks, dots, line ends of every kind, "=" and
    // 8-bit bytes, in lines of every length.
    std::mt19937 random(465);
    const std::string alphabet = "abcXYZ019 .\t=\xE7\xFF\x01";
    std::string text;
    while (text.size() < 200000) {
        const std::size_t length = random() % 160;
        for (std::size_t i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        static const char* const ends[] = {"\r\n", "\n", "\r", "\r\n"};
        text += ends[random() % 4];
    }
    text += "no line end";
    const std::string encoded = QP(text);
    for (std::size_t start = 0; start < encoded.size();) {
        const std::size_t end = encoded.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        ASSERT_LE(end - start, 73u);
        ASSERT_NE(encoded[start], '.');
        start = end + 2;
    }

    // Python's decoder must give the text back with CR LF line ends.
    const TProgramResult result = RunPython(R"(
import binascii, re, sys
text, encoded = sys.stdin.buffer.read().split(b'\0SPLIT\0')
expected = re.sub(rb'\r\n|\r|\n', b'\r\n', text) + b'\r\n'
print(binascii.a2b_qp(encoded) == expected)
)",
                                            text + std::string("\0SPLIT\0", 7) + encoded);
    ASSERT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output, "True\n");

    // And so must ours.
    const TIdBytes decoded = TIdDecoderQuotedPrintable::DecodeBytes(BytesToStringRaw(TIdBytes(encoded.begin(), encoded.end())));
    const std::string normal = NormalLineEnds(text);
    EXPECT_TRUE(decoded == TIdBytes(normal.begin(), normal.end()));
}
