#include "mail/IdMessage.h"


#include "mail/IdAttachmentFile.h"
#include "mail/IdText.h"
#include "mime/IdAddressFormatting.h"
#include "mime/IdCoderHeader.h"
#include "mime/IdGlobalProtocols.h"
#include "mime/IdMessageCoder.h"
#include "platform/NativePath.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// "<id>" from "id", "<id" or "id>"; empty stays empty.
String InBrackets(const String& value)
{
    if (value.empty())
        return value;
    String result = value;
    if (result.front() != u'<')
        result.insert(result.begin(), u'<');
    if (result.back() != u'>')
        result += u'>';
    return result;
}

bool IsOneOf(StringView value, std::initializer_list<StringView> names)
{
    return std::any_of(names.begin(), names.end(), [&](StringView name) { return TextIsSame(value, name); });
}

bool IsIdentityTransferEncoding(StringView value)
{
    return IsOneOf(value, {u"7bit", u"8bit", u"binary"});
}

} // namespace

TIdMessage::TIdMessage(TIdCreationKey key)
    : TIdBaseComponent(key)
    , FClock(&Now)
{
    // Created in this order, destroyed in the order of the destructor.
    FBody = std::make_unique<TStringList>();
    FRecipients = std::make_unique<TIdEMailAddressList>(this);
    FBccList = std::make_unique<TIdEMailAddressList>(this);
    FCcList = std::make_unique<TIdEMailAddressList>(this);
    FMessageParts = std::make_unique<TIdMessageParts>(this);
    FNewsGroups = std::make_unique<TStringList>();
    FHeaders = std::make_unique<TIdHeaderList>(TIdHeaderQuotingType::QuoteRFC822);
    FFromList = std::make_unique<TIdEMailAddressList>(this);
    FReplyTo = std::make_unique<TIdEMailAddressList>(this);
    FSender = std::make_unique<TIdEMailAddressItem>();
    FExtraHeaders = std::make_unique<TIdHeaderList>(TIdHeaderQuotingType::QuoteRFC822);
    FReceiptRecipient = std::make_unique<TIdEMailAddressItem>();
    FMIMEBoundary = std::make_unique<TIdMIMEBoundary>();
    FLastGeneratedHeaders = std::make_unique<TIdHeaderList>(TIdHeaderQuotingType::QuoteRFC822);
}

TIdMessage::~TIdMessage()
{
    // The parts go before the lists and items they might look at through the message.
    FBody.reset();
    FRecipients.reset();
    FBccList.reset();
    FCcList.reset();
    FMessageParts.reset();
    FNewsGroups.reset();
    FHeaders.reset();
    FExtraHeaders.reset();
    FFromList.reset();
    FReplyTo.reset();
    FSender.reset();
    FReceiptRecipient.reset();
    FMIMEBoundary.reset();
    FLastGeneratedHeaders.reset();
}

void TIdMessage::InitializeDefaults()
{
    TIdBaseComponent::InitializeDefaults();
    Clear();
    FEncoding = TIdMessageEncoding::meDefault; // directly: the attachment encoding stays "MIME"
}

// --- Clearing ----------------------------------------------------------------------------

void TIdMessage::Clear()
{
    ClearHeader();
    ClearBody();
}

void TIdMessage::ClearHeader()
{
    FCcList->Clear();
    FBccList->Clear();
    FDate = 0;
    FFromList->Clear();
    FNewsGroups->Clear();
    FOrganization.clear();
    FReferences.clear();
    FReplyTo->Clear();
    FSubject.clear();
    FRecipients->Clear();
    FPriority = TIdMessagePriority::mpNormal;
    FReceiptRecipient->SetName({});
    FReceiptRecipient->SetAddress({});
    FContentType.clear();
    FCharSet.clear();
    FContentTransferEncoding.clear();
    FContentDisposition.clear();
    FSender->SetName({});
    FSender->SetAddress({});
    FHeaders->Clear();
    FExtraHeaders->Clear();
    FMIMEBoundary->Clear();
    FFlags.clear();
    FMsgId.clear();
    FUID.clear();
    FLastGeneratedHeaders->Clear();
    FEncoding = TIdMessageEncoding::meDefault;
    FConvertPreamble = true;
    FSavingToFile = false;
    FIsMsgSinglePartMime = false;
}

void TIdMessage::ClearBody()
{
    FMessageParts->Clear();
    FBody->Clear();
}

void TIdMessage::AddHeader(const String& line)
{
    FHeaders->Add(line);
}

// --- Properties with rules ----------------------------------------------------------------

void TIdMessage::SetAttachmentTempDirectory(const String& value)
{
    if (value == FAttachmentTempDirectory)
        return;
    String folder = value;
    if (!folder.empty() && (folder.back() == u'/' || folder.back() == u'\\'))
        folder.pop_back();
    FAttachmentTempDirectory = folder;
}

const String& TIdMessage::AttachmentEncoding() const
{
    return FMessageParts->AttachmentEncoding();
}

void TIdMessage::SetAttachmentEncoding(const String& value)
{
    FMessageParts->SetAttachmentEncoding(value);
}

void TIdMessage::SetEncoding(TIdMessageEncoding value)
{
    FEncoding = value;
    SetAttachmentEncoding(value == TIdMessageEncoding::meMIME ? u"MIME" : u"UUE");
}

void TIdMessage::SetContentType(const String& value)
{
    String charSet;
    const String rest = ReplaceParam(value, u"charset", u"", TIdHeaderQuotingType::QuoteMIME, charSet);
    if (value.empty()) {
        FContentType = u"text/plain";
        if (!IsLoading())
            FCharSet = u"us-ascii";
        return;
    }
    FContentType = rest;
    if (IsLoading())
        return; // a stored form brings its own CharSet
    if (!charSet.empty())
        FCharSet = charSet;
    else if (HasMediaType(value, u"text"))
        FCharSet = u"us-ascii";
}

TIdEMailAddressItem& TIdMessage::From()
{
    if (FFromList->Count() == 0)
        FFromList->Add();
    return (*FFromList)[0];
}

void TIdMessage::SetMsgId(const String& value)
{
    FMsgId = InBrackets(value);
}

String TIdMessage::InReplyTo() const
{
    return InBrackets(FInReplyTo);
}

void TIdMessage::SetInReplyTo(const String& value)
{
    FInReplyTo = InBrackets(value);
}

void TIdMessage::SetUseNowForDate(bool value)
{
    if (value == UseNowForDate())
        return;
    FDate = value ? 0 : FClock();
}

bool TIdMessage::IsBodyEmpty() const
{
    const String text = FBody->Text();
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return CharIsInSet(c, u"\t\n\r "); });
}

bool TIdMessage::IsBodyEncodingRequired() const
{
    return LinesNeedEncoding(*FBody);
}

// --- Encoded words -----------------------------------------------------------------------

void TIdMessage::InitializeISO(char16_t& headerEncoding, String& charSet)
{
    headerEncoding = DefaultHeaderEncoding;
    charSet = DefaultCharSetForLocale();
    DoInitializeISO(headerEncoding, charSet);
}

void TIdMessage::DoInitializeISO(char16_t& headerEncoding, String& charSet)
{
    if (OnInitializeISO)
        OnInitializeISO(headerEncoding, charSet);
}

// --- Receiving side ----------------------------------------------------------------------

void TIdMessage::DoCreateAttachment(TIdHeaderList& headers, TIdAttachment*& attachment)
{
    attachment = nullptr;
    if (OnCreateAttachment)
        OnCreateAttachment(this, headers, attachment);
    if (!attachment)
        attachment = &TCollection::Emplace<TIdAttachmentFile>(*FMessageParts);
}

void TIdMessage::LoadFromFile(const String& fileName, bool headersOnly)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(orvant::platform::NativePath(ToUtf8(fileName)), error))
        EIdException::Toss<EIdMessageCannotLoad>(Format(u"Cannot load message from file %s", {fileName}));
    TFileStream file(fileName, TFileStream::TMode::fmOpenRead);
    LoadFromStream(file, headersOnly);
}

void TIdMessage::LoadFromStream(TStream&, bool)
{
    // This program only writes messages; reading one in would need the decoder,
    // which it does not have. Saying so beats leaving the message silently empty.
    EIdException::Toss<EIdMessageCannotLoad>(u"Reading a stored message is not supported");
}

// --- Header generation -------------------------------------------------------------------

void TIdMessage::GenerateHeader()
{
    TIdMessageParts& parts = *FMessageParts;
    parts.CountParts();
    const bool hasParts = parts.Count() > 0;

    if (FEncoding == TIdMessageEncoding::meDefault)
        SetEncoding(hasParts ? TIdMessageEncoding::meMIME : TIdMessageEncoding::mePlainText);
    const bool isMIME = FEncoding == TIdMessageEncoding::meMIME;

    // Transfer encodings the writer cannot produce fall back to one it can.
    for (int i = 0; i < parts.Count(); ++i) {
        TIdMessagePart& part = parts[i];
        const String transfer = part.ContentTransfer();
        if (transfer.empty())
            continue;
        if (isMIME) {
            if (!IsOneOf(transfer, {u"7bit", u"8bit", u"binary", u"base64", u"quoted-printable", u"binhex40"}))
                part.SetContentTransfer(u"base64");
        } else if (!IsOneOf(transfer, {u"UUE", u"XXE"})) {
            part.SetContentTransfer(u"UUE");
        }
    }
    // The parts carry their own encodings; the message keeps at most an identity one.
    if (hasParts && !FContentTransferEncoding.empty() && !IsIdentityTransferEncoding(FContentTransferEncoding))
        FContentTransferEncoding.clear();

    if (isMIME) {
        FMIMEBoundary->Clear();
        FMIMEBoundary->Push(TIdMIMEBoundaryStrings::GenerateBoundary(), -1);
        if (FContentType.empty())
            SetContentType(ContentTypeFromParts());
        parts.MessageEncoderInfo().InitializeHeaders(*this);
    }

    char16_t headerEncoding = DefaultHeaderEncoding;
    String charSet;
    InitializeISO(headerEncoding, charSet);

    TIdHeaderList& headers = *FLastGeneratedHeaders;
    headers.Assign(*FHeaders); // the caller's lines first; generated values replace same names in place
    FIsMsgSinglePartMime = isMIME && parts.Count() == 1 && IsBodyEmpty();

    headers.SetValue(u"From", FormatAddresses(*FFromList, headerEncoding, charSet, true));
    headers.SetValue(u"Subject", MakeEncodedWords(FSubject, u"", headerEncoding, charSet));
    headers.SetValue(u"To", FormatAddresses(*FRecipients, headerEncoding, charSet, false));
    headers.SetValue(u"Cc", FormatAddresses(*FCcList, headerEncoding, charSet, false));
    // Blind copies are nobody else's business, except in the sender's own file copy.
    headers.SetValue(u"Bcc", FSavingToFile ? FormatAddresses(*FBccList, headerEncoding, charSet, false) : String());
    headers.SetValue(u"Newsgroups", NewsgroupsValue());
    GenerateContentHeaders(headers);
    headers.SetValue(u"Sender", FSender->Text());
    headers.SetValue(u"Reply-To", FormatAddresses(*FReplyTo, headerEncoding, charSet, false));
    headers.SetValue(u"Organization", MakeEncodedWords(FOrganization, u"", headerEncoding, charSet));
    const String receipt = FormatAddress(*FReceiptRecipient, headerEncoding, charSet, false);
    headers.SetValue(u"Disposition-Notification-To", receipt);
    headers.SetValue(u"Return-Receipt-To", receipt);
    headers.SetValue(u"References", FReferences);
    headers.SetValue(u"Date", FormatMessageDate(UseNowForDate() ? FClock() : FDate, false));
    GeneratePriorityHeaders(headers);
    // The server gives a message sent over SMTP its identifier.
    headers.SetValue(u"Message-Id", FSavingToFile ? FMsgId : String());
    if (FExtraHeaders->Count() > 0)
        headers.AddStrings(*FExtraHeaders);
    const String inReplyTo = InReplyTo();
    if (!inReplyTo.empty())
        headers.SetValue(u"In-Reply-To", inReplyTo);
    else if (const String messageId = headers.GetValue(u"Message-ID"); !messageId.empty())
        headers.SetValue(u"In-Reply-To", messageId);
}

String TIdMessage::ContentTypeFromParts() const
{
    if (FMessageParts->AttachmentCount() > 0)
        return u"multipart/mixed";
    if (FMessageParts->TextPartCount() > 1)
        return u"multipart/alternative";
    return u"text/plain";
}

void TIdMessage::GenerateContentHeaders(TIdHeaderList& headers)
{
    // A text type without a charset is US-ASCII (RFC 2045 section 5.2), said aloud.
    const String charSet = !FCharSet.empty() || !HasMediaType(FContentType, u"text") ? FCharSet : u"us-ascii";
    if (FEncoding == TIdMessageEncoding::mePlainText) {
        headers.SetValue(u"Content-Type", FContentType);
        headers.SetParam(u"Content-Type", u"charset", charSet);
        headers.SetValue(u"Content-Transfer-Encoding", FContentTransferEncoding);
        return;
    }
    if (FIsMsgSinglePartMime) {
        // The one part's own content lines follow the message header directly.
        headers.SetValue(u"MIME-Version", u"1.0");
        headers.SetValue(u"Content-Type", u"");
        headers.SetValue(u"Content-Transfer-Encoding", u"");
        headers.SetValue(u"Content-Disposition", u"");
        return;
    }
    if (!FContentType.empty()) {
        headers.SetValue(u"Content-Type", FContentType);
        headers.SetParam(u"Content-Type", u"charset", charSet);
        if (FMessageParts->Count() > 0)
            headers.SetParam(u"Content-Type", u"boundary", FMIMEBoundary->Boundary());
    }
    headers.SetValue(u"MIME-Version", u"1.0");
    headers.SetValue(u"Content-Transfer-Encoding", FContentTransferEncoding);
}

void TIdMessage::GeneratePriorityHeaders(TIdHeaderList& headers) const
{
    if (FPriority == TIdMessagePriority::mpNormal) {
        headers.SetValue(u"Priority", u"");
        headers.SetValue(u"X-Priority", u"");
        headers.SetValue(u"Importance", u"");
        return;
    }
    const bool high = FPriority < TIdMessagePriority::mpNormal;
    headers.SetValue(u"Priority", high ? u"urgent" : u"non-urgent");
    headers.SetValue(u"X-Priority", IntToStr(static_cast<int>(FPriority) + 1));
    headers.SetValue(u"Importance", high ? u"high" : u"low");
}

String TIdMessage::NewsgroupsValue() const
{
    String value;
    for (int i = 0; i < FNewsGroups->Count(); ++i) {
        const String& group = (*FNewsGroups)[i];
        if (i > 0)
            value += u',';
        const bool needsQuotes = std::any_of(group.begin(), group.end(), [](char16_t c) {
            return c <= 32 || c == 127 || c == u',' || c == u'"';
        });
        value += needsQuotes ? u"\"" + StringReplaceAll(group, u"\"", u"\"\"") + u"\"" : group;
    }
    return value;
}
