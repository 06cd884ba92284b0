#include "mail/IdMessage.h"

#include "mail/IdAttachmentFile.h"
#include "mail/IdText.h"
#include "mime/IdCoderHeader.h"
#include "mime/IdMessageCoder.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/RaisedMessage.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TIdMessage> NewMessage()
{
    return MakeComponent<TIdMessage>();
}

TEST(IdMessage, NewMessageDefaults)
{
    auto msg = NewMessage();
    EXPECT_TRUE(msg->UseNowForDate());
    EXPECT_EQ(msg->Priority(), TIdMessagePriority::mpNormal);
    EXPECT_TRUE(msg->ConvertPreamble());
    EXPECT_EQ(msg->Encoding(), TIdMessageEncoding::meDefault);
    // The encoding is stored directly at creation, so the attachment encoding keeps
    // the collection's own "MIME".
    EXPECT_EQ(msg->AttachmentEncoding(), u"MIME");
    EXPECT_EQ(msg->ContentType(), u"");
    EXPECT_EQ(msg->CharSet(), u"");
    EXPECT_EQ(msg->MessageParts().Count(), 0);
    EXPECT_EQ(msg->MessageParts().OwnerMessage(), msg.get());

    EXPECT_EQ(msg->FromList().Count(), 0);
    msg->From();
    EXPECT_EQ(msg->FromList().Count(), 1) << "reading From adds one empty author";
    msg->From().SetAddress(u"a@x.com");
    EXPECT_EQ(msg->FromList().Count(), 1);
    EXPECT_EQ(msg->FromList()[0].Address(), u"a@x.com");
}

TEST(IdMessage, EncodingSelectsTheAttachmentEncoding)
{
    auto msg = NewMessage();
    // The stored form of the send dialog: "MIME" first, then meDefault, ends with UUE.
    msg->SetAttachmentEncoding(u"MIME");
    msg->SetEncoding(TIdMessageEncoding::meDefault);
    EXPECT_EQ(msg->AttachmentEncoding(), u"UUE");
    msg->SetEncoding(TIdMessageEncoding::meMIME);
    EXPECT_EQ(msg->AttachmentEncoding(), u"MIME");
    msg->SetEncoding(TIdMessageEncoding::mePlainText);
    EXPECT_EQ(msg->AttachmentEncoding(), u"UUE");
}

TEST(IdMessage, UnknownAttachmentEncodingIsRefusedAndTheOldOneStays)
{
    auto msg = NewMessage();
    EXPECT_EQ(RaisedMessage([&] { msg->SetAttachmentEncoding(u"yEnc"); }), u"Message encoder not found: yEnc");
    EXPECT_EQ(msg->AttachmentEncoding(), u"MIME");
    EXPECT_EQ(&msg->MessageParts().MessageEncoderInfo(), &TIdMessageEncoderList::ByName(u"MIME"));
}

TEST(IdMessage, ContentTypeSplitsOffTheCharset)
{
    auto msg = NewMessage();
    msg->SetContentType(u"text/plain; charset=iso-8859-1");
    EXPECT_EQ(msg->ContentType(), u"text/plain");
    EXPECT_EQ(msg->CharSet(), u"iso-8859-1");

    msg->SetContentType(u"text/html");
    EXPECT_EQ(msg->ContentType(), u"text/html");
    EXPECT_EQ(msg->CharSet(), u"us-ascii") << "a text type without charset is US-ASCII";

    msg->SetCharSet(u"UTF-8");
    msg->SetContentType(u"application/pdf");
    EXPECT_EQ(msg->CharSet(), u"UTF-8") << "other types leave the charset";

    msg->SetContentType(u"");
    EXPECT_EQ(msg->ContentType(), u"text/plain");
    EXPECT_EQ(msg->CharSet(), u"us-ascii");

    // Quoted charset and other parameters: only the charset goes.
    msg->SetContentType(u"multipart/related; charset=\"UTF-8\"; type=\"text/html\"");
    EXPECT_EQ(msg->CharSet(), u"UTF-8");
    EXPECT_EQ(msg->ContentType(), u"multipart/related; type=\"text/html\"");
}

TEST(IdMessage, ContentTypeWhileLoadingLeavesTheCharset)
{
    auto msg = NewMessage();
    msg->SetCharSet(u"windows-1252");
    msg->SetLoading(true);
    msg->SetContentType(u"text/plain; charset=UTF-8");
    EXPECT_EQ(msg->ContentType(), u"text/plain");
    EXPECT_EQ(msg->CharSet(), u"windows-1252");
    msg->SetContentType(u"");
    EXPECT_EQ(msg->ContentType(), u"text/plain");
    EXPECT_EQ(msg->CharSet(), u"windows-1252");
}

TEST(IdMessage, MessageIdsGetAngleBrackets)
{
    auto msg = NewMessage();
    msg->SetMsgId(u"abc.123");
    EXPECT_EQ(msg->MsgId(), u"<abc.123>");
    msg->SetMsgId(u"<abc.123>");
    EXPECT_EQ(msg->MsgId(), u"<abc.123>");
    msg->SetMsgId(u"<abc.123");
    EXPECT_EQ(msg->MsgId(), u"<abc.123>");
    msg->SetMsgId(u"abc.123>");
    EXPECT_EQ(msg->MsgId(), u"<abc.123>");
    msg->SetMsgId(u"");
    EXPECT_EQ(msg->MsgId(), u"");

    msg->SetInReplyTo(u"x@y");
    EXPECT_EQ(msg->InReplyTo(), u"<x@y>");
    msg->SetInReplyTo(u"");
    EXPECT_EQ(msg->InReplyTo(), u"");
}

TEST(IdMessage, UseNowForDateStampsTheClock)
{
    auto msg = NewMessage();
    const TDateTime moment = EncodeDateTime(2026, 3, 10, 9, 15, 42);
    msg->SetClock([&] { return moment; });
    msg->SetUseNowForDate(true); // already true: nothing happens
    EXPECT_EQ(msg->Date(), 0);
    msg->SetUseNowForDate(false);
    EXPECT_EQ(msg->Date(), moment);
    EXPECT_FALSE(msg->UseNowForDate());
    msg->SetUseNowForDate(false); // already false: keeps the stamp
    EXPECT_EQ(msg->Date(), moment);
    msg->SetUseNowForDate(true);
    EXPECT_EQ(msg->Date(), 0);
}

TEST(IdMessage, ClearEmptiesTheRecordButKeepsWhatItShould)
{
    auto msg = NewMessage();
    msg->SetNoEncode(true);
    msg->SetAttachmentTempDirectory(u"/var/tmp/att/");
    msg->SetInReplyTo(u"prev@x");
    msg->SetExceptionOnBlockedAttachments(true);
    msg->SetSubject(u"s");
    msg->From().SetAddress(u"a@x.com");
    msg->Recipients().Add().SetAddress(u"b@x.com");
    msg->Sender().SetText(u"Ana <ana@x.com>");
    msg->ReceiptRecipient().SetAddress(u"r@x.com");
    msg->SetPriority(TIdMessagePriority::mpHigh);
    msg->SetContentType(u"text/plain; charset=UTF-8");
    msg->SetMsgId(u"id@x");
    msg->SetDate(1.5);
    msg->SetConvertPreamble(false);
    msg->Body().Add(u"line");
    msg->AddHeader(u"X-Test: 1");
    msg->ExtraHeaders().SetValue(u"X-Extra", u"2");
    msg->SetEncoding(TIdMessageEncoding::mePlainText);
    TCollection::Emplace<TIdText>(msg->MessageParts());
    msg->MIMEBoundary().Push(u"b", -1);

    msg->Clear();

    EXPECT_TRUE(msg->NoEncode());
    EXPECT_EQ(msg->AttachmentTempDirectory(), u"/var/tmp/att");
    EXPECT_EQ(msg->InReplyTo(), u"<prev@x>");
    EXPECT_TRUE(msg->ExceptionOnBlockedAttachments());

    EXPECT_EQ(msg->Subject(), u"");
    EXPECT_EQ(msg->FromList().Count(), 0);
    EXPECT_EQ(msg->Recipients().Count(), 0);
    EXPECT_EQ(msg->Sender().Text(), u"");
    EXPECT_EQ(msg->ReceiptRecipient().Address(), u"");
    EXPECT_EQ(msg->Priority(), TIdMessagePriority::mpNormal);
    EXPECT_EQ(msg->ContentType(), u"");
    EXPECT_EQ(msg->CharSet(), u"");
    EXPECT_EQ(msg->MsgId(), u"");
    EXPECT_TRUE(msg->UseNowForDate());
    EXPECT_TRUE(msg->ConvertPreamble());
    EXPECT_EQ(msg->Body().Count(), 0);
    EXPECT_EQ(msg->Headers().Count(), 0);
    EXPECT_EQ(msg->ExtraHeaders().Count(), 0);
    EXPECT_EQ(msg->MessageParts().Count(), 0);
    EXPECT_EQ(msg->MIMEBoundary().Count(), 0);
    EXPECT_EQ(msg->Encoding(), TIdMessageEncoding::meDefault);
    EXPECT_EQ(msg->AttachmentEncoding(), u"UUE") << "the encoding is reset directly, not through its setter";
}

TEST(IdMessage, BodyTests)
{
    auto msg = NewMessage();
    EXPECT_TRUE(msg->IsBodyEmpty());
    msg->Body().Add(u" \t");
    msg->Body().Add(u"");
    EXPECT_TRUE(msg->IsBodyEmpty());
    EXPECT_FALSE(msg->IsBodyEncodingRequired());
    msg->Body().Add(u"Março");
    EXPECT_FALSE(msg->IsBodyEmpty());
    EXPECT_TRUE(msg->IsBodyEncodingRequired());
}

TEST(IdMessage, InitializeISOGivesDefaultsThatTheEventMayChange)
{
    auto msg = NewMessage();
    char16_t encoding = u'?';
    String charSet;
    msg->InitializeISO(encoding, charSet);
    EXPECT_EQ(encoding, u'B');
    EXPECT_EQ(charSet, DefaultCharSetForLocale());

    msg->OnInitializeISO = [](char16_t& e, String& c) {
        EXPECT_EQ(e, u'B');
        e = u'Q';
        c = u"ISO-8859-1";
    };
    msg->InitializeISO(encoding, charSet);
    EXPECT_EQ(encoding, u'Q');
    EXPECT_EQ(charSet, u"ISO-8859-1");
}

TEST(IdMessage, SettingListsAndItemsCopiesThem)
{
    auto msg = NewMessage();
    TIdEMailAddressList list;
    list.Add().SetText(u"Ana <ana@x.com>");
    msg->SetRecipients(list);
    list[0].SetAddress(u"changed@x.com");
    EXPECT_EQ(msg->Recipients()[0].Address(), u"ana@x.com");

    TIdEMailAddressItem item;
    item.SetText(u"Bia <bia@x.com>");
    msg->SetFrom(item);
    EXPECT_EQ(msg->FromList().Count(), 1);
    EXPECT_EQ(msg->From().Name(), u"Bia");
    msg->SetSender(item);
    EXPECT_EQ(msg->Sender().Address(), u"bia@x.com");
}

TEST(IdMessage, CreateAttachmentFromTheEventOrAsAFile)
{
    auto msg = NewMessage();
    TIdHeaderList headers(TIdHeaderQuotingType::QuoteRFC822);
    TIdAttachment* attachment = nullptr;
    msg->DoCreateAttachment(headers, attachment);
    ASSERT_NE(dynamic_cast<TIdAttachmentFile*>(attachment), nullptr);
    EXPECT_EQ(attachment->FileName(), u"");
    EXPECT_EQ(msg->MessageParts().Count(), 1);

    TIdAttachment* supplied = nullptr;
    msg->OnCreateAttachment = [&](TIdMessage* m, TIdHeaderList&, TIdAttachment*& v) {
        v = &TCollection::Emplace<TIdAttachmentFile>(m->MessageParts(), u"/tmp/x.pdf");
        supplied = v;
    };
    msg->DoCreateAttachment(headers, attachment);
    EXPECT_EQ(attachment, supplied);
    EXPECT_EQ(msg->MessageParts().Count(), 2);
}

TEST(IdMessage, LoadFromAMissingFileNamesTheFile)
{
    auto msg = NewMessage();
    const auto e = Caught<EIdMessageCannotLoad>([&] { msg->LoadFromFile(u"/nonexistent/dir/msg.eml"); });
    EXPECT_EQ(e.Message(), u"Cannot load message from file /nonexistent/dir/msg.eml");
    // Reading a message in is not built: said, not silently skipped.
    TMemoryStream stored(ToBytesRaw(u"Subject: x\r\n\r\nbody\r\n"));
    EXPECT_THROW(msg->LoadFromStream(stored), EIdMessageCannotLoad);
}

TEST(IdMessage, OwnedMessageDiesWithItsOwner)
{
    auto owner = MakeComponent<TIdBaseComponent>();
    TIdMessage& msg = MakeOwnedComponent<TIdMessage>(*owner);
    TCollection::Emplace<TIdText>(msg.MessageParts());
    TCollection::Emplace<TIdAttachmentFile>(msg.MessageParts(), u"/tmp/a.7z");
    EXPECT_EQ(msg.Owner(), owner.get());
    owner.reset(); // the sanitizer build reports a part that outlives its message
}

} // namespace
