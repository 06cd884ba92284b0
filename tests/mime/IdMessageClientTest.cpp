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

#include <string>
#include <vector>

namespace {

const String kBoundary = u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4";
const std::string kB = "K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4";

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
        return TCollection::Emplace<TIdAttachmentFile>(Msg->MessageParts(), U16(path.string()));
    }

    std::string Save(bool headersOnly = false)
    {
        TMemoryStream out;
        Msg->SaveToStream(out, headersOnly);
        return std::string(out.Bytes().begin(), out.Bytes().end());
    }

    // The text after the header block (which ends at the first empty line).
    static std::string BodyOf(const std::string& wire) { return wire.substr(wire.find("\r\n\r\n") + 4); }

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

} // namespace
