// Header generation: which lines a message record gives, in which order, and what
// it settles in the record for the body writer.

#include "mail/IdAttachmentFile.h"
#include "mail/IdMessage.h"
#include "mail/IdText.h"
#include "mime/IdCoderHeader.h"
#include "mime/IdMessageCoderMIME.h"
#include "support/FixedBoundary.h"
#include "support/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Opens the flag that SaveToFile sets, so that its effect on the header shows.
class TSavedMessage : public TIdMessage {
public:
    using TIdMessage::TIdMessage;
    using TIdMessage::SetSavingToFile;
};

const TDateTime kSendTime = EncodeDateTime(2026, 3, 10, 9, 15, 42);

class GenerateHeader : public ::testing::Test {
protected:
    GenerateHeader()
        : Msg(MakeComponent<TSavedMessage>())
    {
        // Fixed clock, zone, header charset and boundary: the lines are exact.
        Msg->SetClock([] { return kSendTime; });
        Msg->OnInitializeISO = [](char16_t& encoding, String& charSet) {
            encoding = u'B';
            charSet = u"UTF-8";
        };
        Msg->From().SetText(u"Ana <ana@loja.com.br>");
        Msg->Recipients().Add().SetText(u"contador@example.com.br");
        Msg->SetSubject(u"Notas");
    }

    std::vector<String> Generate()
    {
        Msg->GenerateHeader();
        const TIdHeaderList& headers = Msg->LastGeneratedHeaders();
        return std::vector<String>(headers.begin(), headers.end());
    }

    std::vector<String> Names()
    {
        Msg->GenerateHeader();
        std::vector<String> names;
        const TIdHeaderList& headers = Msg->LastGeneratedHeaders();
        for (int i = 0; i < headers.Count(); ++i)
            if (!headers.GetName(i).empty())
                names.push_back(headers.GetName(i));
        return names;
    }

    String Value(StringView name) const { return Msg->LastGeneratedHeaders().GetValue(name); }
    bool Has(StringView name) const { return Msg->LastGeneratedHeaders().IndexOfName(name) >= 0; }

    TIdText& AddText() { return TCollection::Emplace<TIdText>(Msg->MessageParts()); }
    TIdAttachmentFile& AddFile() { return TCollection::Emplace<TIdAttachmentFile>(Msg->MessageParts(), u"/srv/03.7z"); }

    ScopedTimeZone Zone{"America/Sao_Paulo"};
    std::unique_ptr<TSavedMessage> Msg;
};

using TextLines = std::vector<String>;

TEST_F(GenerateHeader, PlainTextMessageWithoutParts)
{
    EXPECT_EQ(Generate(), (TextLines{u"From: \"Ana\" <ana@loja.com.br>", u"Subject: Notas", u"To: contador@example.com.br",
                              u"Date: Tue, 10 Mar 2026 09:15:42 -0300"}));
    EXPECT_EQ(Msg->Encoding(), TIdMessageEncoding::mePlainText);
    EXPECT_EQ(Msg->AttachmentEncoding(), u"UUE");
    EXPECT_FALSE(Msg->IsMsgSinglePartMime());
}

TEST_F(GenerateHeader, PlainTextContentLinesCarryTheCharset)
{
    Msg->SetContentType(u"text/plain");
    Msg->SetCharSet(u"");
    Msg->SetContentTransferEncoding(u"8bit");
    Generate();
    EXPECT_EQ(Value(u"Content-Type"), u"text/plain; charset=us-ascii");
    EXPECT_EQ(Value(u"Content-Transfer-Encoding"), u"8bit");
    EXPECT_FALSE(Has(u"MIME-Version"));
}

TEST_F(GenerateHeader, EveryLineInItsPlace)
{
    Msg->FromList().Add().SetAddress(u"bia@loja.com.br"); // no display name: gets the address
    Msg->CCList().Add().SetText(u"Caio <caio@x.com>");
    Msg->BccList().Add().SetAddress(u"oculto@x.com");
    Msg->NewsGroups().Add(u"br.comp");
    Msg->NewsGroups().Add(u"say \"hi\", all");
    Msg->Sender().SetText(u"Loja <loja@x.com>");
    Msg->ReplyTo().Add().SetAddress(u"resp@x.com");
    Msg->SetOrganization(u"Loja São João");
    Msg->ReceiptRecipient().SetAddress(u"recibo@x.com");
    Msg->SetReferences(u"<a@x> <b@x>");
    Msg->SetPriority(TIdMessagePriority::mpHighest);
    Msg->SetMsgId(u"id1@loja");
    Msg->ExtraHeaders().Add(u"X-Mailer: Orvant");
    Msg->SetDate(EncodeDateTime(2026, 1, 5, 8, 3, 9));
    Msg->SetSavingToFile(true);
    Msg->SetEncoding(TIdMessageEncoding::meMIME);

    EXPECT_EQ(Names(), (TextLines{u"From", u"Subject", u"To", u"Cc", u"Bcc", u"Newsgroups", u"Content-Type",
                              u"MIME-Version", u"Sender", u"Reply-To", u"Organization",
                              u"Disposition-Notification-To", u"Return-Receipt-To", u"References", u"Date",
                              u"Priority", u"X-Priority", u"Importance", u"Message-Id", u"X-Mailer",
                              u"In-Reply-To"}));
    EXPECT_EQ(Value(u"From"), u"\"Ana\" <ana@loja.com.br>, \"bia@loja.com.br\" <bia@loja.com.br>");
    EXPECT_EQ(Msg->FromList()[1].Name(), u"bia@loja.com.br") << "the author itself is changed";
    EXPECT_EQ(Value(u"Bcc"), u"oculto@x.com");
    EXPECT_EQ(Value(u"Newsgroups"), u"br.comp,\"say \"\"hi\"\", all\"");
    EXPECT_EQ(Value(u"Sender"), u"Loja <loja@x.com>");
    EXPECT_EQ(Value(u"Organization"), u"Loja =?UTF-8?B?U8OjbyBKb8Ojbw==?=");
    EXPECT_EQ(Value(u"Disposition-Notification-To"), u"recibo@x.com");
    EXPECT_EQ(Value(u"Return-Receipt-To"), u"recibo@x.com");
    EXPECT_EQ(Value(u"Date"), u"Mon, 5 Jan 2026 08:03:09 -0300");
    EXPECT_EQ(Value(u"Message-Id"), u"<id1@loja>");
    EXPECT_EQ(Value(u"In-Reply-To"), u"<id1@loja>") << "without InReplyTo the message's own id stands in";
    EXPECT_EQ(Value(u"Content-Type"), u"text/plain; charset=us-ascii");
}

TEST_F(GenerateHeader, MessageIdAndBccOnlyInAFileCopy)
{
    Msg->SetMsgId(u"id1@loja");
    Msg->BccList().Add().SetAddress(u"oculto@x.com");
    Msg->AddHeader(u"Message-Id: <old@x>");
    Generate();
    EXPECT_FALSE(Has(u"Message-Id")) << "over SMTP the server stamps the message";
    EXPECT_FALSE(Has(u"Bcc"));
    EXPECT_FALSE(Has(u"In-Reply-To"));

    Msg->SetSavingToFile(true);
    Msg->SetInReplyTo(u"prev@x");
    Generate();
    EXPECT_EQ(Value(u"Message-Id"), u"<id1@loja>");
    EXPECT_EQ(Value(u"In-Reply-To"), u"<prev@x>");
    EXPECT_EQ(Value(u"Bcc"), u"oculto@x.com");
}

TEST_F(GenerateHeader, MimeMessageWithoutParts)
{
    Msg->SetEncoding(TIdMessageEncoding::meMIME);
    Generate();
    EXPECT_EQ(Value(u"Content-Type"), u"text/plain; charset=us-ascii");
    EXPECT_EQ(Value(u"MIME-Version"), u"1.0");
    EXPECT_EQ(Msg->LastGeneratedHeaders().IndexOfName(u"MIME-Version"),
              Msg->LastGeneratedHeaders().IndexOfName(u"Content-Type") + 1);
    EXPECT_EQ(Msg->MIMEBoundary().Count(), 1) << "a boundary is set up even without parts";
}

TEST_F(GenerateHeader, TextAndAttachmentMakeMultipartMixed)
{
    AddText();
    AddFile();
    Generate();
    EXPECT_EQ(Msg->Encoding(), TIdMessageEncoding::meMIME);
    EXPECT_EQ(Msg->AttachmentEncoding(), u"MIME");
    EXPECT_EQ(Msg->ContentType(), u"multipart/mixed");
    const String boundary = Msg->MIMEBoundary().Boundary();
    EXPECT_EQ(boundary.size(), 34u);
    EXPECT_EQ(Msg->MIMEBoundary().ParentPart(), -1);
    EXPECT_EQ(Value(u"Content-Type"), u"multipart/mixed; boundary=\"" + boundary + u"\"");
    EXPECT_EQ(Msg->LastGeneratedHeaders().IndexOfName(u"MIME-Version"),
              Msg->LastGeneratedHeaders().IndexOfName(u"Content-Type") + 1);

    // Again: the content type stays, the boundary is new.
    Generate();
    EXPECT_EQ(Msg->ContentType(), u"multipart/mixed");
    EXPECT_EQ(Msg->MIMEBoundary().Count(), 1);
    EXPECT_NE(Msg->MIMEBoundary().Boundary(), boundary);
}

TEST_F(GenerateHeader, ContentTypeByPartCounts)
{
    AddText();
    AddText();
    Generate();
    EXPECT_EQ(Msg->ContentType(), u"multipart/alternative");
    EXPECT_EQ(Value(u"Content-Type").substr(0, 33), u"multipart/alternative; boundary=\"");

    AddFile();
    Generate();
    EXPECT_EQ(Msg->ContentType(), u"multipart/alternative") << "a content type once chosen is kept";
    Msg->SetContentType(u"");
    Msg->SetCharSet(u"");
    Msg->SetContentType(u"multipart/x"); // set by the caller: kept
    Generate();
    EXPECT_EQ(Msg->ContentType(), u"multipart/x");

    auto mixed = MakeComponent<TIdMessage>();
    TCollection::Emplace<TIdText>(mixed->MessageParts());
    TCollection::Emplace<TIdText>(mixed->MessageParts());
    TCollection::Emplace<TIdAttachmentFile>(mixed->MessageParts(), u"/srv/a.pdf");
    mixed->GenerateHeader();
    EXPECT_EQ(mixed->ContentType(), u"multipart/mixed");
}

TEST_F(GenerateHeader, SinglePartMimeLeavesContentLinesToThePart)
{
    AddText().SetContentType(u"text/plain; charset=iso-8859-1");
    Msg->AddHeader(u"Content-Type: text/html");
    Msg->AddHeader(u"Content-Disposition: inline");
    Generate();
    EXPECT_TRUE(Msg->IsMsgSinglePartMime());
    EXPECT_EQ(Value(u"MIME-Version"), u"1.0");
    EXPECT_FALSE(Has(u"Content-Type"));
    EXPECT_FALSE(Has(u"Content-Transfer-Encoding"));
    EXPECT_FALSE(Has(u"Content-Disposition"));

    Msg->Body().Add(u"preamble"); // a body makes it multipart again
    Generate();
    EXPECT_FALSE(Msg->IsMsgSinglePartMime());
    EXPECT_TRUE(Has(u"Content-Type"));
}

TEST_F(GenerateHeader, UnusableTransferEncodingsAreCorrected)
{
    TIdText& custom = AddText();
    custom.SetContentTransfer(u"x-custom");
    TIdText& upper = AddText();
    upper.SetContentTransfer(u"BASE64");
    TIdText& none = AddText();
    Msg->SetContentTransferEncoding(u"base64");
    Generate();
    EXPECT_EQ(custom.ContentTransfer(), u"base64");
    EXPECT_EQ(upper.ContentTransfer(), u"BASE64");
    EXPECT_EQ(none.ContentTransfer(), u"");
    EXPECT_EQ(Msg->ContentTransferEncoding(), u"") << "a message with parts keeps only an identity encoding";

    Msg->SetContentTransferEncoding(u"8bit");
    Generate();
    EXPECT_EQ(Msg->ContentTransferEncoding(), u"8bit");
    EXPECT_EQ(Value(u"Content-Transfer-Encoding"), u"8bit");
}

TEST_F(GenerateHeader, PlainTextPartsGetUUE)
{
    Msg->SetEncoding(TIdMessageEncoding::mePlainText);
    TIdAttachmentFile& base64 = AddFile();
    base64.SetContentTransfer(u"base64");
    TIdAttachmentFile& xxe = AddFile();
    xxe.SetContentTransfer(u"xxe");
    Generate();
    EXPECT_EQ(base64.ContentTransfer(), u"UUE");
    EXPECT_EQ(xxe.ContentTransfer(), u"xxe");
}

TEST_F(GenerateHeader, PriorityLines)
{
    Msg->SetPriority(TIdMessagePriority::mpLow);
    Generate();
    EXPECT_EQ(Value(u"Priority"), u"non-urgent");
    EXPECT_EQ(Value(u"X-Priority"), u"4");
    EXPECT_EQ(Value(u"Importance"), u"low");

    Msg->SetPriority(TIdMessagePriority::mpHigh);
    Generate();
    EXPECT_EQ(Value(u"Priority"), u"urgent");
    EXPECT_EQ(Value(u"X-Priority"), u"2");
    EXPECT_EQ(Value(u"Importance"), u"high");

    Msg->SetPriority(TIdMessagePriority::mpLowest);
    Generate();
    EXPECT_EQ(Value(u"X-Priority"), u"5");

    Msg->SetPriority(TIdMessagePriority::mpNormal);
    Msg->AddHeader(u"X-Priority: 1"); // a stale line from the caller goes too
    Generate();
    EXPECT_FALSE(Has(u"Priority"));
    EXPECT_FALSE(Has(u"X-Priority"));
    EXPECT_FALSE(Has(u"Importance"));
}

TEST_F(GenerateHeader, CallersLinesKeepTheirPlace)
{
    Msg->AddHeader(u"Subject: old");
    Msg->AddHeader(u"X-Private: keep");
    const TextLines lines = Generate();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], u"Subject: Notas");
    EXPECT_EQ(lines[1], u"X-Private: keep");
    EXPECT_EQ(lines[2], u"From: \"Ana\" <ana@loja.com.br>");
}

TEST_F(GenerateHeader, ExtraHeadersGoInUnchanged)
{
    Msg->ExtraHeaders().Add(u"X-Mailer: Orvant");
    Msg->ExtraHeaders().Add(u"Subject: second");
    const TextLines lines = Generate();
    EXPECT_EQ(lines[lines.size() - 2], u"X-Mailer: Orvant");
    EXPECT_EQ(lines.back(), u"Subject: second");
    EXPECT_EQ(lines[1], u"Subject: Notas");
}

TEST_F(GenerateHeader, UserTextCannotStartAHeaderLine)
{
    Msg->SetSubject(u"Notas\r\nBcc: victim@x.com");
    Msg->Recipients()[0].SetAddress(u"a@x.com\r\nX-Injected: 1");
    const TextLines lines = Generate();
    for (const String& line : lines) {
        EXPECT_EQ(line.find(u'\r'), String::npos);
        EXPECT_FALSE(TextStartsWith(line, u"Bcc")) << ToUtf8(line);
        EXPECT_FALSE(TextStartsWith(line, u"X-Injected")) << ToUtf8(line);
    }
}

TEST_F(GenerateHeader, LongSubjectsAreFoldedBetweenEncodedWords)
{
    const String subject = u"Fechamento " + String(40, u'\u00E7');
    Msg->SetSubject(subject);
    const TextLines lines = Generate();
    EXPECT_EQ(DecodeEncodedWords(Value(u"Subject")), subject);
    int continuation = 0;
    for (const String& line : lines) {
        EXPECT_LE(line.size(), 78u) << ToUtf8(line);
        continuation += line.front() == u' ';
    }
    EXPECT_GE(continuation, 1);
}

TEST_F(GenerateHeader, DateInUtc)
{
    ORVANT_SKIP_UNLESS_TZ_APPLIES();
    Msg->SetDate(EncodeDateTime(2026, 3, 10));
    ScopedTimeZone utc("UTC");
    Generate();
    EXPECT_EQ(Value(u"Date"), u"Tue, 10 Mar 2026 00:00:00 +0000");
}

// The dispatch's message, filled as the send dialog fills it: exactly these seven lines.
TEST_F(GenerateHeader, TheDispatchMessage)
{
    FixedBoundary boundary(u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");
    auto msg = MakeComponent<TIdMessage>();
    msg->SetClock([] { return kSendTime; });
    msg->OnInitializeISO = [](char16_t& encoding, String& charSet) {
        encoding = u'B';
        charSet = u"UTF-8";
    };
    msg->SetAttachmentEncoding(u"MIME");
    msg->SetEncoding(TIdMessageEncoding::meDefault);
    msg->SetConvertPreamble(true);
    msg->FromList().Add();

    msg->From().SetAddress(u"automail@dravik.com.br");
    msg->From().SetName(u"Dravik Automail");
    msg->ReplyTo().SetEMailAddresses(msg->From().Address());
    msg->Recipients().Add().SetText(u"contador@example.com.br");
    msg->SetSubject(u"Loja Centro - XML - Março de 2026");
    msg->SetEncoding(TIdMessageEncoding::meMIME);
    TIdText& text = TCollection::Emplace<TIdText>(msg->MessageParts());
    text.Body().Add(u"Segue em anexo os arquivos referentes");
    text.SetContentType(u"text/plain; charset=iso-8859-1");
    TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts(), u"/var/lib/orvant/drive_c/Kelmora/Orvant/Enviar/2026/03.7z");

    msg->GenerateHeader();
    const TIdHeaderList& headers = msg->LastGeneratedHeaders();
    EXPECT_EQ(headers.Text(),
              u"From: \"Dravik Automail\" <automail@dravik.com.br>\r\n"
              u"Subject: Loja Centro - XML - =?UTF-8?B?TWFyw6dv?= de 2026\r\n"
              u"To: contador@example.com.br\r\n"
              u"Content-Type: multipart/mixed; boundary=\"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4\"\r\n"
              u"MIME-Version: 1.0\r\n"
              u"Reply-To: automail@dravik.com.br\r\n"
              u"Date: Tue, 10 Mar 2026 09:15:42 -0300\r\n");
    EXPECT_EQ(headers[3].size(), 76u);
    EXPECT_EQ(msg->MIMEBoundary().Boundary(), u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");
}

TEST(MessageEncoderInfoMIME, InitializeHeadersFillsOnlyAnEmptyContentType)
{
    auto msg = MakeComponent<TIdMessage>();
    const TIdMessageEncoderInfo& mime = TIdMessageEncoderList::ByName(u"MIME");
    msg->MessageParts().CountParts();
    mime.InitializeHeaders(*msg);
    EXPECT_EQ(msg->ContentType(), u"") << "no parts: nothing to choose from";

    TCollection::Emplace<TIdText>(msg->MessageParts()).SetContentID(u"<c1>");
    msg->MessageParts().CountParts();
    mime.InitializeHeaders(*msg);
    EXPECT_EQ(msg->ContentType(), u"multipart/related; type=\"multipart/alternative\"");

    msg->SetContentType(u"multipart/mixed");
    mime.InitializeHeaders(*msg);
    EXPECT_EQ(msg->ContentType(), u"multipart/mixed");
}

} // namespace
