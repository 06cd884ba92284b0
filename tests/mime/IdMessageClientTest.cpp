// The message writer: what a message record becomes on the wire, byte for byte, and
// what an independent reader (Python's email package) makes of it.

#include "mime/IdMessageClient.h"

#include "mail/IdAttachmentFile.h"
#include "mail/IdMessage.h"
#include "mail/IdText.h"
#include "mime/IdDateTime.h"
#include "smtp/IdExceptionCore.h"
#include "smtp/IdIOHandlerStream.h"
#include "support/ExternalProgram.h"
#include "support/FixedBoundary.h"
#include "support/RaisedMessage.h"
#include "support/ScopedTimeZone.h"
#include "support/StreamProbes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string Utf8(const String& text)
{
    return ToUtf8(text);
}

String U16(const std::string& path)
{
    return FromUtf8(path);
}

// 200 bytes whose base64 form (four lines, 76 characters but the last) is known.
std::string ArchiveBytes()
{
    std::string bytes;
    for (int i = 0; i < 200; ++i)
        bytes += static_cast<char>((i * 7 + 3) % 256);
    return bytes;
}

// The boundary the generator is made to produce next (FixedBoundary).
const String kBoundary = u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4";
const std::string kB = Utf8(kBoundary);

const std::string kHeaderStart = "From: \"Ana\" <ana@loja.com.br>\r\nTo: contador@example.com.br\r\n";
const std::string kDateLine = "Date: Tue, 10 Mar 2026 09:15:42 -0300\r\n";

// `base64 -w 76` of ArchiveBytes().
const char* const kArchiveBase64 =
    "AwoRGB8mLTQ7QklQV15lbHN6gYiPlp2kq7K5wMfO1dzj6vH4/wYNFBsiKTA3PkVMU1phaG92fYSL\r\n"
    "kpmgp661vMPK0djf5u30+wIJEBceJSwzOkFIT1ZdZGtyeYCHjpWco6qxuL/GzdTb4unw9/4FDBMa\r\n"
    "ISgvNj1ES1JZYGdudXyDipGYn6attLvCydDX3uXs8/oBCA8WHSQrMjlAR05VXGNqcXh/ho2Um6Kp\r\n"
    "sLe+xczT2uHo7/b9BAsSGSAnLjU8Q0pRWF9mbXQ=\r\n";

class MessageWriter : public ::testing::Test {
protected:
    MessageWriter()
        : Msg(MakeComponent<TIdMessage>())
    {
        Msg->SetClock([] { return EncodeDateTime(2026, 3, 10, 9, 15, 42); });
        Msg->OnInitializeISO = [](char16_t& encoding, String& charSet) {
            encoding = u'B';
            charSet = u"UTF-8";
        };
    }

    // The message as the mail dispatch fills it for store "Loja Centro", March 2026.
    // Returns the archive's path.
    std::string FillSystemMessage(const std::string& archive)
    {
        Msg->From().SetAddress(u"automail@dravik.com.br");
        Msg->From().SetName(u"Dravik Automail");
        Msg->ReplyTo().SetEMailAddresses(Msg->From().Address());
        Msg->Recipients().Add().SetText(u"contador@example.com.br");
        Msg->SetSubject(u"Loja Centro - XML - Março de 2026");
        Msg->SetEncoding(TIdMessageEncoding::meMIME);
        TIdText& text = AddText();
        text.Body().Add(u"Segue em anexo os arquivos referentes");
        text.SetContentType(u"text/plain; charset=iso-8859-1");
        return Utf8(AddFile("Enviar/2026/03.7z", archive).StoredPathName());
    }

    TIdText& AddText(const String& line = {})
    {
        TIdText& text = TCollection::Emplace<TIdText>(Msg->MessageParts());
        if (!line.empty())
            text.Body().Add(line);
        return text;
    }

    TIdAttachmentFile& AddFile(const std::string& relative, const std::string& content)
    {
        const auto path = Dir.WriteFile(relative, content);
        return TCollection::Emplace<TIdAttachmentFile>(Msg->MessageParts(),
                                                       U16(orvant::platform::Utf8OfNativePath(path)));
    }

    std::string Save(bool headersOnly = false)
    {
        TMemoryStream out;
        Msg->SaveToStream(out, headersOnly);
        return std::string(out.Bytes().begin(), out.Bytes().end());
    }

    // The text after the header block (which ends at the first empty line).
    static std::string BodyOf(const std::string& wire) { return wire.substr(wire.find("\r\n\r\n") + 4); }

    // A message with an author and a recipient (its header lines: kHeaderStart,
    // the content lines, kDateLine).
    void Address()
    {
        Msg->From().SetText(u"Ana <ana@loja.com.br>");
        Msg->Recipients().Add().SetAddress(u"contador@example.com.br");
    }

    ScopedTimeZone Zone{"America/Sao_Paulo"};
    FixedBoundary Boundary{kBoundary};
    orvant::test::TTempDir Dir;
    std::unique_ptr<TIdMessage> Msg;
};

TEST_F(MessageWriter, SystemMessageComesOutAsOnTheWire)
{
    FillSystemMessage(ArchiveBytes());
    const std::string expected =
        "From: \"Dravik Automail\" <automail@dravik.com.br>\r\n"
        "Subject: Loja Centro - XML - =?UTF-8?B?TWFyw6dv?= de 2026\r\n"
        "To: contador@example.com.br\r\n"
        "Content-Type: multipart/mixed; boundary=\"" + kB + "\"\r\n"
        "MIME-Version: 1.0\r\n"
        "Reply-To: automail@dravik.com.br\r\n"
        "Date: Tue, 10 Mar 2026 09:15:42 -0300\r\n"
        "\r\n"
        "This is a multi-part message in MIME format\r\n"
        "\r\n"
        "--" + kB + "\r\n"
        "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "Content-Disposition: inline\r\n"
        "\r\n"
        "Segue em anexo os arquivos referentes\r\n"
        "\r\n"
        "--" + kB + "\r\n"
        "Content-Type: application/x-7z-compressed;\r\n"
        "\tname=\"03.7z\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n"
        "\tfilename=\"03.7z\"\r\n"
        "\r\n" + std::string(kArchiveBase64) +
        "\r\n"
        "--" + kB + "--\r\n"
        "\r\n"
        ".\r\n";
    EXPECT_EQ(Save(), expected);
    EXPECT_EQ(Msg->MIMEBoundary().Count(), 0) << "the boundary stack is emptied at the end";
}

// Python's email package, a reader that shares no code with ours, reads the saved
// message: decoded headers, the part layout and the attachment's bytes.
TEST_F(MessageWriter, PythonReadsTheMessageBack)
{
    std::string archive;
    for (std::uint32_t i = 0; i < 100000; ++i)
        archive += static_cast<char>((i * 2654435761u) >> 24); // spans many 8192-byte writes
    const std::string archivePath = FillSystemMessage(archive);
    AddFile("Relatórios/Março São João.txt", "");
    const std::string saved = Save();
    ASSERT_EQ(saved.substr(saved.size() - 5), "\r\n.\r\n");
    const TProgramResult result = RunProgram({"/usr/bin/python3", "-c", R"(
import sys, email, email.policy
raw = sys.stdin.buffer.read()[:-3]
msg = email.message_from_bytes(raw, policy=email.policy.default)
for name in ("Subject", "From", "To", "Reply-To", "Date"):
    print(msg[name])
print(msg.get_content_type(), msg.defects)
for part in msg.iter_parts():
    print(part.get_content_type(), part.get_content_disposition(), part.get_filename(),
          part.get_content_charset(), len(part.get_payload(decode=True)), part.defects)
text, archive, empty = msg.iter_parts()
print(repr(text.get_content()))
print(archive.get_payload(decode=True) == open(sys.argv[1], "rb").read())
)", archivePath},
                                             saved);
    ASSERT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(result.Output, "Loja Centro - XML - Março de 2026\n"
                             "Dravik Automail <automail@dravik.com.br>\n"
                             "contador@example.com.br\n"
                             "automail@dravik.com.br\n"
                             "Tue, 10 Mar 2026 09:15:42 -0300\n"
                             "multipart/mixed []\n"
                             "text/plain inline None iso-8859-1 39 []\n"
                             "application/x-7z-compressed attachment 03.7z None 100000 []\n"
                             "text/plain attachment Março São João.txt None 0 []\n"
                             "'Segue em anexo os arquivos referentes\\r\\n'\n"
                             "True\n");
}

// The file copy keeps what SMTP must not carry; headers only means the header lines
// and nothing else.
TEST_F(MessageWriter, SavedFileKeepsBlindCopiesAndIdentifier)
{
    Address();
    Msg->BccList().Add().SetAddress(u"oculto@loja.com.br");
    Msg->SetMsgId(u"id1@loja");
    Msg->Body().Add(u"corpo");
    const auto path = Dir.Path() / "copia.eml";
    Msg->SaveToFile(U16(path.string()));
    EXPECT_EQ(orvant::test::ReadFile(path), kHeaderStart + "Bcc: oculto@loja.com.br\r\n" + kDateLine +
                                                "Message-Id: <id1@loja>\r\nIn-Reply-To: <id1@loja>\r\n"
                                                "\r\ncorpo\r\n\r\n.\r\n");
    EXPECT_EQ(Save(), kHeaderStart + kDateLine + "\r\ncorpo\r\n\r\n.\r\n") << "SaveToFile's flag must not stay set";
    EXPECT_EQ(Save(true), kHeaderStart + kDateLine);
}

TEST_F(MessageWriter, SinglePartMessageHasThePartHeadersInItsHeader)
{
    Address();
    AddText(u"Olá").SetContentType(u"text/plain; charset=UTF-8");
    EXPECT_EQ(Save(), kHeaderStart + "MIME-Version: 1.0\r\n" + kDateLine +
                          "Content-Type: text/plain; charset=\"UTF-8\"\r\n"
                          "Content-Transfer-Encoding: quoted-printable\r\n"
                          "Content-Disposition: inline\r\n"
                          "\r\n"
                          "Ol=C3=A1\r\n"
                          "\r\n"
                          ".\r\n");
}

TEST_F(MessageWriter, BodyBesideAttachmentBecomesTheFirstPartOrThePreamble)
{
    Address();
    Msg->Body().Add(u"Segue o arquivo.");
    AddFile("03.7z", "7z");
    const std::string attachment = "--" + kB + "\r\nContent-Type: application/x-7z-compressed;\r\n";
    const std::string converted = "This is a multi-part message in MIME format\r\n\r\n"
                                  "--" + kB + "\r\n"
                                  "Content-Type: text/plain\r\n"
                                  "Content-Transfer-Encoding: quoted-printable\r\n"
                                  "Content-Disposition: inline\r\n"
                                  "\r\n"
                                  "Segue o arquivo.\r\n"
                                  "\r\n" + attachment;
    EXPECT_EQ(BodyOf(Save()).substr(0, converted.size()), converted);
    ASSERT_EQ(Msg->MessageParts().Count(), 2) << "the converted part stays in the message";

    Msg->MessageParts().Delete(1);
    Msg->SetConvertPreamble(false);
    FixedBoundary again{kBoundary};
    const std::string preamble = "Segue o arquivo.\r\n\r\n" + attachment;
    EXPECT_EQ(BodyOf(Save()).substr(0, preamble.size()), preamble);
    EXPECT_EQ(Msg->MessageParts().Count(), 1);
}

TEST_F(MessageWriter, MIMEMessageWithoutPartsHasItsBodyAlone)
{
    Address();
    Msg->SetEncoding(TIdMessageEncoding::meMIME);
    Msg->Body().SetText(u"linha 1\r\n.\r\n.linha 3");
    EXPECT_EQ(BodyOf(Save()), "linha 1\r\n..\r\n..linha 3\r\n\r\n.\r\n");
}

TEST_F(MessageWriter, TextPartsInTheirCharsetAndTransferEncoding)
{
    Address();
    TIdText& eightBit = AddText(u"ação");
    eightBit.Body().Add(u".linha");
    eightBit.SetContentType(u"text/plain; charset=iso-8859-1");
    eightBit.SetContentTransfer(u"7bit"); // cannot hold "ç"
    AddText(u".linha").SetCharSet(u"UTF-8");
    TIdText& base64 = AddText(u"ç");
    base64.SetCharSet(u"UTF-8");
    base64.SetContentTransfer(u"base64");
    base64.SetContentDescription(u"Descrição");
    base64.ExtraHeaders().SetValue(u"X-Parte", u"3");

    const std::string body = BodyOf(Save());
    EXPECT_NE(body.find("Content-Transfer-Encoding: 8bit\r\nContent-Disposition: inline\r\n\r\n"
                        "a\xE7\xE3o\r\n..linha\r\n\r\n--"),
              std::string::npos);
    EXPECT_NE(body.find("Content-Transfer-Encoding: quoted-printable\r\nContent-Disposition: inline\r\n\r\n"
                        "=2Elinha\r\n\r\n--"),
              std::string::npos);
    EXPECT_NE(body.find("Content-Type: text/plain; charset=\"UTF-8\"\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: inline\r\n"
                        "Content-Description: Descri??o\r\n"
                        "X-Parte: 3\r\n"
                        "\r\n"
                        "w6cNCg==\r\n\r\n--"),
              std::string::npos)
        << body;
}

TEST_F(MessageWriter, AttachmentNamesAndEmptyAttachment)
{
    Address();
    AddFile("Março.7z", "");
    TIdAttachmentFile& odd = AddFile("outro.7z", "x");
    odd.SetFileName(u"pasta/a\"b\r\nBcc x.7z"); // a line break must not start a header line
    const std::string body = BodyOf(Save());
    EXPECT_NE(body.find("\tname=\"=?UTF-8?B?TWFyw6dvLjd6?=\"\r\n"), std::string::npos);
    EXPECT_NE(body.find("\tfilename=\"=?UTF-8?B?TWFyw6dvLjd6?=\"\r\n\r\n\r\n--"), std::string::npos)
        << "an empty attachment has no data line";
    EXPECT_NE(body.find("\tname=\"a\\\"b  Bcc x.7z\"\r\n"), std::string::npos) << body;
    EXPECT_EQ(body.find("\nBcc"), std::string::npos);
}

// With an identity transfer encoding the file is copied as lines of text in its
// charset: any line end becomes CR LF, a leading full stop is doubled.
TEST_F(MessageWriter, AttachmentCopiedAsLinesInItsCharset)
{
    Address();
    TIdAttachmentFile& latin = AddFile("a.txt", "um\r\ndois\ntr\xEAs\r.quatro");
    latin.SetCharSet(u"ISO-8859-1");
    latin.SetContentTransfer(u"8bit");
    // A CR at the end of the reader's first block, its LF at the start of the next.
    TIdAttachmentFile& longLine = AddFile("b.txt", std::string(65535, 'a') + "\r\nb\r\n");
    longLine.SetContentTransfer(u"7bit");
    // In UTF-16 a line end is a whole unit: U+010A holds the byte of LF but is none.
    const std::string utf16("\x0A\x01\r\0\n\0x\0", 8);
    TIdAttachmentFile& wide = AddFile("c.txt", utf16);
    wide.SetCharSet(u"UTF-16LE");
    wide.SetContentTransfer(u"binary");

    const std::string body = BodyOf(Save());
    EXPECT_NE(body.find("\r\n\r\num\r\ndois\r\ntr\xEAs\r\n..quatro\r\n\r\n--"), std::string::npos);
    EXPECT_NE(body.find("\r\n\r\n" + std::string(65535, 'a') + "\r\nb\r\n\r\n--"), std::string::npos);
    EXPECT_NE(body.find("\r\n\r\n" + std::string("\x0A\x01\r\0\n\0x\0\r\0\n\0", 12) + "\r\n--"), std::string::npos);
}

TEST_F(MessageWriter, NestedMultipartParts)
{
    Address();
    AddText().SetContentType(u"multipart/alternative; boundary=old");
    AddText(u"texto").SetParentPart(0);
    TIdText& html = AddText(u"<p>texto</p>");
    html.SetContentType(u"text/html");
    html.SetParentPart(0);
    AddFile("03.7z", "");
    const std::string body = BodyOf(Save());
    const std::size_t at = body.find("boundary=\"") + 10;
    const std::string nested = body.substr(at, body.find('"', at) - at);
    ASSERT_EQ(nested.size(), 34u);
    ASSERT_NE(nested, kB);
    const std::string textHeaders = "Content-Transfer-Encoding: quoted-printable\r\nContent-Disposition: inline\r\n\r\n";
    EXPECT_EQ(body.substr(0, body.find("Content-Type: application")),
              "This is a multi-part message in MIME format\r\n\r\n"
              "--" + kB + "\r\n"
              "Content-Type: multipart/alternative;\r\n"
              "\tboundary=\"" + nested + "\"\r\n"
              "\r\n"
              "--" + nested + "\r\nContent-Type: text/plain\r\n" + textHeaders + "texto\r\n\r\n"
              "--" + nested + "\r\nContent-Type: text/html\r\n" + textHeaders + "<p>texto</p>\r\n\r\n"
              "--" + nested + "--\r\n\r\n"
              "--" + kB + "\r\n");
    EXPECT_EQ(body.substr(body.size() - kB.size() - 13), "\r\n--" + kB + "--\r\n\r\n.\r\n");
}

// How a reader nests the parts: a multipart part after a nested level starts a new
// level of its own, and a part whose parent is no open level lands at the top.
TEST_F(MessageWriter, PartsLandAtTheLevelOfTheirParent)
{
    TIdMIMEBoundaryStrings::SetRandomSource({}); // nested levels need boundaries of their own
    const auto layout = [this](const std::vector<std::pair<String, int>>& parts) {
        Msg->Clear();
        Address();
        for (const auto& [type, parent] : parts) {
            TIdText& part = AddText(u"x");
            part.SetContentType(type);
            part.SetParentPart(parent);
        }
        return Save();
    };
    const std::vector<std::string> messages = {
        layout({{u"multipart/alternative", -1}, {u"text/plain", 0}, {u"multipart/related", -1}, {u"text/html", 2}}),
        layout({{u"multipart/alternative", -1}, {u"multipart/related", 0}, {u"text/plain", 1}, {u"text/html", 0}}),
        layout({{u"multipart/alternative", -1}, {u"text/plain", 0}, {u"text/html", 7}}),
    };
    const std::vector<std::string> structures = RunPythonOnEach(R"(
import email, email.policy
def tree(part):
    if part.is_multipart():
        return part.get_content_subtype() + "[" + ",".join(tree(p) for p in part.iter_parts()) + "]"
    return part.get_content_subtype()
def convert(data):
    msg = email.message_from_bytes(data[:-3], policy=email.policy.default)
    return (tree(msg) + " " + str(len(msg.defects) + sum(len(p.defects) for p in msg.walk()))).encode()
)",
                                                                 messages);
    EXPECT_EQ(structures, (std::vector<std::string>{"alternative[alternative[plain],related[html]] 0",
                                                     "alternative[alternative[related[plain],html]] 0",
                                                     "alternative[alternative[plain],html] 0"}));
}

TEST_F(MessageWriter, PlainTextMessageWithUUEncodedAttachment)
{
    Address();
    Msg->SetEncoding(TIdMessageEncoding::mePlainText);
    Msg->SetAttachmentEncoding(u"MIME"); // not a plain-text encoding: UUE is used
    Msg->Body().Add(u"corpo");
    AddText(u"texto");
    TIdAttachmentFile& file = AddFile("03.7z", "abc");
    EXPECT_EQ(BodyOf(Save()), "corpo\r\n\r\n"
                              "\r\n------- Start of text attachment -------\r\n"
                              "Content-Type: text/plain\r\n"
                              "Content-Transfer-Encoding: quoted-printable\r\n"
                              "Content-Disposition: inline\r\n"
                              "\r\n"
                              "texto\r\n"
                              "------- End of text attachment -------\r\n"
                              "\r\n"
                              "begin 660 03.7z\r\n#86)C\r\n`\r\nend\r\n"
                              "\r\n"
                              ".\r\n");
    EXPECT_EQ(file.ContentTransfer(), u"UUE");
}

TEST_F(MessageWriter, MessageWithItsOwnTransferEncoding)
{
    Address();
    Msg->Body().Add(u"corpo ");
    Msg->SetContentTransferEncoding(u"Base64");
    EXPECT_EQ(BodyOf(Save()), "Y29ycG8gDQo=\r\n.\r\n");
    Msg->SetContentTransferEncoding(u"quoted-printable");
    EXPECT_EQ(BodyOf(Save()), "corpo=20\r\n.\r\n");

    // Header generation clears such an encoding once there are parts; written
    // without it, the message cannot be.
    AddText(u"x");
    Msg->SetEncoding(TIdMessageEncoding::meMIME);
    TMemoryStream out;
    const auto io = MakeComponent<TIdIOHandlerStream>(nullptr, &out);
    const auto client = MakeComponent<TIdMessageClient>();
    client->SetIOHandler(io.get());
    io->Open();
    EXPECT_EQ(RaisedMessage([&] { client->EmitBody(*Msg); }),
              u"Message parts cannot be used in a message which has a ContentTransferEncoding value.");
}

TEST_F(MessageWriter, StoredHeadersAndBodyGoOutAsTheyStand)
{
    Msg->SetNoEncode(true);
    Msg->AddHeader(u"Subject: pronto");
    Msg->Body().SetText(u".a\r\nb");
    AddFile("03.7z", "ignored");
    EXPECT_EQ(Save(), "Subject: pronto\r\n\r\n..a\r\nb\r\n.\r\n");
}

// Status reports before each part; the work events stay paired when an attachment
// cannot be read, and what was written before the failure stays written.
TEST_F(MessageWriter, ReportsAndUnreadableAttachments)
{
    FillSystemMessage(ArchiveBytes());
    TMemoryStream out;
    const auto io = MakeComponent<TIdIOHandlerStream>(nullptr, &out);
    const auto client = MakeComponent<TIdMessageClient>();
    client->SetIOHandler(io.get());
    io->Open();
    std::vector<String> reports;
    int workLevel = 0;
    client->OnStatus = [&](TIdComponent*, TIdStatus status, const String& text) {
        EXPECT_EQ(status, TIdStatus::hsStatusText);
        reports.push_back(text);
    };
    client->OnWorkBegin = [&](TIdComponent*, TWorkMode, std::int64_t) { ++workLevel; };
    client->OnWorkEnd = [&](TIdComponent*, TWorkMode) { --workLevel; };
    client->SendMsg(*Msg);
    EXPECT_EQ(reports, (std::vector<String>{u"Encoding text", u"Encoding attachment"}));

    std::filesystem::remove(Utf8(dynamic_cast<TIdAttachmentFile&>(Msg->MessageParts()[1]).StoredPathName()));
    out.Clear();
    EXPECT_THROW(client->SendMsg(*Msg), EFOpenError);
    EXPECT_EQ(workLevel, 0);
    const std::string written(out.Bytes().begin(), out.Bytes().end());
    EXPECT_EQ(written.substr(written.size() - 21), "\tfilename=\"03.7z\"\r\n\r\n") << "the part's headers stay";
    EXPECT_THROW(Msg->SaveToStream(out), EFOpenError);
}

// An attachment of any size streams through: read in bounded blocks, encoded, and
// sent in writes of the handler's threshold; a read error ends the message there.
TEST_F(MessageWriter, AttachmentStreamsInBoundedWrites)
{
    class TGeneratedAttachment : public TIdAttachment {
    public:
        TGeneratedAttachment(TCollection* collection, std::int64_t size) : TIdAttachment(collection), Source(size, 7) {}
        TStream& OpenLoadStream() override { return Source; }
        void CloseLoadStream() override { ++Closed; }
        TStream& PrepareTempStream() override { return Source; }
        void FinishTempStream() override {}
        TGeneratedStream Source;
        int Closed = 0;
    };
    constexpr std::int64_t kSize = 8 << 20;
    Address();
    auto& attachment = TCollection::Emplace<TGeneratedAttachment>(Msg->MessageParts(), kSize);
    TProbeSink sink;
    std::int64_t dataWrites = 0;
    sink.OnWrite = [&](const std::uint8_t*, std::size_t count) { dataWrites += count == 8192 ? 1 : 0; };
    Msg->SaveToStream(sink);
    EXPECT_LE(sink.LargestWrite(), TIdMessageClient::kAttachmentWriteThreshold);
    EXPECT_LE(attachment.Source.LargestRead, 64 * 1024);
    const std::int64_t encoded = (kSize + 2) / 3 * 4 + (kSize + 56) / 57 * 2;
    EXPECT_GE(dataWrites, encoded / 8192);
    EXPECT_EQ(attachment.Closed, 1);

    attachment.Source.FailAfter = 100000;
    TMemoryStream out;
    EXPECT_THROW(Msg->SaveToStream(out), EReadError);
    EXPECT_EQ(attachment.Closed, 2) << "the load stream is closed after a read error too";
    const std::string written(out.Bytes().begin(), out.Bytes().end());
    EXPECT_NE(written.find("Content-Transfer-Encoding: base64"), std::string::npos);
    EXPECT_EQ(written.find("--" + kB + "--"), std::string::npos) << "nothing follows the failed part";
}

} // namespace
