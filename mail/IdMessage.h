#pragma once
// TIdMessage: one e-mail in memory: its header fields, body lines and parts, and
// the bookkeeping the MIME writer needs while it writes the message.
//
//   auto msg = MakeComponent<TIdMessage>();
//   msg->From().SetAddress(u"loja@example.com.br");
//   msg->Recipients().Add().SetText(u"contador@example.com.br");
//   msg->SetSubject(u"Loja Centro - XML - Março de 2026");
//   TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts(), archivePath);
//
// The message owns its address lists, header lists, items and parts; setting a list
// or an item copies the given one.

#include "mail/IdEMailAddress.h"
#include "mail/IdMIMEBoundary.h"
#include "mail/IdMessageParts.h"
#include "mime/IdDateTime.h"
#include "mime/IdHeaderList.h"
#include "mime/IdStream.h"
#include "mime/IdStrings.h"
#include "smtp/IdBaseComponent.h"

#include <functional>
#include <memory>
#include <set>

class TIdAttachment;

enum class TIdMessageEncoding { meDefault, meMIME, mePlainText };
enum class TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };
enum class TIdMessageFlags { mfAnswered, mfFlagged, mfDeleted, mfDraft, mfSeen, mfRecent };
using TIdMessageFlagsSet = std::set<TIdMessageFlags>;

// Lets the user choose the header encoding ('B', 'Q' or '8') and the charset of
// encoded words.
using TIdMessageInitializeISOEvent = std::function<void(char16_t& VHeaderEncoding, String& VCharSet)>;
// Receiving side: lets the user supply the attachment object for a part.
using TIdMessageCreateAttachmentEvent =
    std::function<void(TIdMessage* AMsg, TIdHeaderList& AHeaders, TIdAttachment*& VAttachment)>;

class TIdMessage : public TIdBaseComponent {
public:
    explicit TIdMessage(TIdCreationKey key);
    ~TIdMessage() override;

    // Empties the header fields, then the body and parts.
    virtual void Clear();
    void ClearHeader();
    // Destroys every part and empties the body.
    void ClearBody();

    // Appends the line as it stands to Headers.
    void AddHeader(const String& line);

    // Fills LastGeneratedHeaders from the record (and settles the encoding, the part
    // transfer encodings, the content type and the top boundary for the writer).
    void GenerateHeader();

    // The header encoding and charset for encoded words: the defaults for the user's
    // language, then whatever OnInitializeISO makes of them.
    void InitializeISO(char16_t& headerEncoding, String& charSet);

    // Receiving side: the attachment OnCreateAttachment supplies, else a new
    // TIdAttachmentFile without a file name in MessageParts.
    virtual void DoCreateAttachment(TIdHeaderList& headers, TIdAttachment*& attachment);

    // Write the message as the SMTP client writes it (a final "." line unless
    // headersOnly); SaveToFile also keeps the Bcc and Message-Id lines. Defined with
    // the message writer (mime/IdMessageClient.cpp).
    void SaveToStream(TStream& stream, bool headersOnly = false);
    void SaveToFile(const String& fileName, bool headersOnly = false);
    // Receiving side. A missing file raises EIdMessageCannotLoad; reading a message
    // is not supported by this library and raises EIdMessageCannotLoad too.
    void LoadFromFile(const String& fileName, bool headersOnly = false);
    void LoadFromStream(TStream& stream, bool headersOnly = false);

    // True when the body holds nothing but blanks, tabs and line breaks.
    bool IsBodyEmpty() const;
    // True when a body line holds a character above 127.
    bool IsBodyEncodingRequired() const;

    // --- Properties ----------------------------------------------------------------
    const String& AttachmentTempDirectory() const { return FAttachmentTempDirectory; }
    // Stored without a trailing path delimiter.
    void SetAttachmentTempDirectory(const String& value);
    // The name of the attachments' message encoder, kept by MessageParts.
    const String& AttachmentEncoding() const;
    void SetAttachmentEncoding(const String& value);

    TIdEMailAddressList& BccList() { return *FBccList; }
    void SetBccList(const TIdEMailAddressList& value) { FBccList->Assign(value); }
    TStrings& Body() { return *FBody; }
    const TStrings& Body() const { return *FBody; }
    void SetBody(const TStrings& value) { FBody->Assign(value); }
    const String& CharSet() const { return FCharSet; }
    void SetCharSet(const String& value) { FCharSet = value; }
    TIdEMailAddressList& CCList() { return *FCcList; }
    void SetCCList(const TIdEMailAddressList& value) { FCcList->Assign(value); }
    // Without its charset parameter, which goes to CharSet.
    const String& ContentType() const { return FContentType; }
    void SetContentType(const String& value);
    const String& ContentTransferEncoding() const { return FContentTransferEncoding; }
    void SetContentTransferEncoding(const String& value) { FContentTransferEncoding = value; }
    const String& ContentDisposition() const { return FContentDisposition; }
    void SetContentDisposition(const String& value) { FContentDisposition = value; }
    // 0: the moment the header is generated.
    TDateTime Date() const { return FDate; }
    void SetDate(TDateTime value) { FDate = value; }
    bool IsEncoded() const { return FIsEncoded; }
    void SetIsEncoded(bool value) { FIsEncoded = value; }
    TIdHeaderList& ExtraHeaders() { return *FExtraHeaders; }
    void SetExtraHeaders(const TIdHeaderList& value) { FExtraHeaders->Assign(value); }
    TIdMessageEncoding Encoding() const { return FEncoding; }
    // Also selects the attachment encoding: "MIME" for meMIME, "UUE" otherwise.
    void SetEncoding(TIdMessageEncoding value);
    const TIdMessageFlagsSet& Flags() const { return FFlags; }
    void SetFlags(const TIdMessageFlagsSet& value) { FFlags = value; }
    TIdEMailAddressList& FromList() { return *FFromList; }
    void SetFromList(const TIdEMailAddressList& value) { FFromList->Assign(value); }
    // The first author, added (empty) when there is none.
    TIdEMailAddressItem& From();
    void SetFrom(const TIdEMailAddressItem& value) { From().Assign(value); }
    TIdHeaderList& Headers() { return *FHeaders; }
    TIdMessageParts& MessageParts() { return *FMessageParts; }
    const TIdMessageParts& MessageParts() const { return *FMessageParts; }
    TIdMIMEBoundary& MIMEBoundary() { return *FMIMEBoundary; }
    // In angle brackets.
    const String& MsgId() const { return FMsgId; }
    void SetMsgId(const String& value);
    TStrings& NewsGroups() { return *FNewsGroups; }
    void SetNewsGroups(const TStrings& value) { FNewsGroups->Assign(value); }
    bool NoEncode() const { return FNoEncode; }
    void SetNoEncode(bool value) { FNoEncode = value; }
    bool NoDecode() const { return FNoDecode; }
    void SetNoDecode(bool value) { FNoDecode = value; }
    const String& Organization() const { return FOrganization; }
    void SetOrganization(const String& value) { FOrganization = value; }
    TIdMessagePriority Priority() const { return FPriority; }
    void SetPriority(TIdMessagePriority value) { FPriority = value; }
    const String& Subject() const { return FSubject; }
    void SetSubject(const String& value) { FSubject = value; }
    TIdEMailAddressItem& ReceiptRecipient() { return *FReceiptRecipient; }
    void SetReceiptRecipient(const TIdEMailAddressItem& value) { FReceiptRecipient->Assign(value); }
    TIdEMailAddressList& Recipients() { return *FRecipients; }
    void SetRecipients(const TIdEMailAddressList& value) { FRecipients->Assign(value); }
    const String& References() const { return FReferences; }
    void SetReferences(const String& value) { FReferences = value; }
    // In angle brackets.
    String InReplyTo() const;
    void SetInReplyTo(const String& value);
    TIdEMailAddressList& ReplyTo() { return *FReplyTo; }
    void SetReplyTo(const TIdEMailAddressList& value) { FReplyTo->Assign(value); }
    TIdEMailAddressItem& Sender() { return *FSender; }
    void SetSender(const TIdEMailAddressItem& value) { FSender->Assign(value); }
    const String& UID() const { return FUID; }
    void SetUID(const String& value) { FUID = value; }
    const TIdHeaderList& LastGeneratedHeaders() const { return *FLastGeneratedHeaders; }
    bool ConvertPreamble() const { return FConvertPreamble; }
    void SetConvertPreamble(bool value) { FConvertPreamble = value; }
    bool IsMsgSinglePartMime() const { return FIsMsgSinglePartMime; }
    void SetIsMsgSinglePartMime(bool value) { FIsMsgSinglePartMime = value; }
    bool ExceptionOnBlockedAttachments() const { return FExceptionOnBlockedAttachments; }
    void SetExceptionOnBlockedAttachments(bool value) { FExceptionOnBlockedAttachments = value; }
    // True exactly when Date is 0. Setting false stamps Date with the current time.
    bool UseNowForDate() const { return FDate == 0; }
    void SetUseNowForDate(bool value);

    // Where "now" comes from (the local clock unless a test sets another).
    void SetClock(TIdClock clock) { FClock = std::move(clock); }

    TIdMessageInitializeISOEvent OnInitializeISO;
    TIdMessageCreateAttachmentEvent OnCreateAttachment;

protected:
    void InitializeDefaults() override;
    // Raises OnInitializeISO when it is set.
    virtual void DoInitializeISO(char16_t& headerEncoding, String& charSet);
    // Set while SaveToFile writes: header generation then keeps Bcc and Message-Id.
    bool SavingToFile() const { return FSavingToFile; }
    void SetSavingToFile(bool value) { FSavingToFile = value; }

    // Received messages only: the sending mail program.
    String FXProgram;

private:
    // The content lines of the header: by encoding and part layout.
    void GenerateContentHeaders(TIdHeaderList& headers);
    void GeneratePriorityHeaders(TIdHeaderList& headers) const;
    String NewsgroupsValue() const;
    // The content type a MIME message without one gets from its part counts.
    String ContentTypeFromParts() const;

    String FAttachmentTempDirectory;
    std::unique_ptr<TIdEMailAddressList> FBccList;
    std::unique_ptr<TStringList> FBody;
    String FCharSet;
    std::unique_ptr<TIdEMailAddressList> FCcList;
    String FContentType;
    String FContentTransferEncoding;
    String FContentDisposition;
    TDateTime FDate = 0;
    bool FIsEncoded = false;
    std::unique_ptr<TIdHeaderList> FExtraHeaders;
    TIdMessageEncoding FEncoding = TIdMessageEncoding::meDefault;
    TIdMessageFlagsSet FFlags;
    std::unique_ptr<TIdEMailAddressList> FFromList;
    std::unique_ptr<TIdHeaderList> FHeaders;
    std::unique_ptr<TIdMessageParts> FMessageParts;
    std::unique_ptr<TIdMIMEBoundary> FMIMEBoundary;
    String FMsgId;
    std::unique_ptr<TStringList> FNewsGroups;
    bool FNoEncode = false;
    bool FNoDecode = false;
    String FOrganization;
    TIdMessagePriority FPriority = TIdMessagePriority::mpNormal;
    String FSubject;
    std::unique_ptr<TIdEMailAddressItem> FReceiptRecipient;
    std::unique_ptr<TIdEMailAddressList> FRecipients;
    String FReferences;
    String FInReplyTo;
    std::unique_ptr<TIdEMailAddressList> FReplyTo;
    std::unique_ptr<TIdEMailAddressItem> FSender;
    String FUID;
    std::unique_ptr<TIdHeaderList> FLastGeneratedHeaders;
    bool FConvertPreamble = true;
    bool FSavingToFile = false;
    bool FIsMsgSinglePartMime = false;
    bool FExceptionOnBlockedAttachments = false;
    TIdClock FClock;
};
