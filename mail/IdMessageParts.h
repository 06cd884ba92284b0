#pragma once
// The parts of a MIME message: the part record all parts share (TIdMessagePart),
// and the ordered collection that owns them (TIdMessageParts).
//
// A part is created with the collection and belongs to it from then on:
//
//   auto& text = TCollection::Emplace<TIdText>(message.MessageParts());
//
// The part's content headers (Content-Type, Content-Transfer-Encoding, ...) live in
// its own header list; CharSet and Name are kept apart from Content-Type, and
// FileName apart from Content-Disposition, so that the writer can encode them.

#include "mime/IdCollection.h"
#include "mime/IdGlobal.h"
#include "mime/IdHeaderList.h"
#include "mime/IdStream.h"

#include <functional>

class TComponent;
class TIdMessage;
class TIdMessageEncoderInfo;
class TIdMessageParts;

enum class TIdMessagePartType { mptText, mptAttachment };

class TIdMessagePart : public TCollectionItem {
public:
    ~TIdMessagePart() override = default;

    // The base class is no part of its own: its constructor is protected, and this,
    // the creation path that names the base class (as a class reference would),
    // raises EIdCanNotCreateMessagePart.
    [[noreturn]] static void Create(TCollection* collection);

    // Copies headers, extra headers, CharSet, FileName and Name of another part;
    // any other item is refused with EConvertError.
    virtual void Assign(const TCollectionItem& source);

    // The content values are the part's header values (empty when absent); setting
    // one empty removes the header.
    virtual String ContentDisposition() const;
    virtual String ContentType() const;
    virtual String ContentTransfer() const;
    virtual String ContentID() const;
    virtual String ContentLocation() const;
    virtual String ContentDescription() const;
    // Takes a "filename" parameter out of the value into FileName (encoded words
    // decoded).
    virtual void SetContentDisposition(const String& value);
    // Takes "charset" and "name" parameters out of the value into CharSet and Name;
    // absent parameters leave those as they were.
    virtual void SetContentType(const String& value);
    virtual void SetContentTransfer(const String& value);
    virtual void SetContentID(const String& value);
    virtual void SetContentDescription(const String& value);
    virtual void SetContentLocation(const String& value);
    virtual TIdMessagePartType PartType() const;

    const String& CharSet() const { return FCharSet; }
    void SetCharSet(const String& value) { FCharSet = value; }
    TIdHeaderList& ExtraHeaders() { return FExtraHeaders; }
    const TIdHeaderList& ExtraHeaders() const { return FExtraHeaders; }
    void SetExtraHeaders(const TIdHeaderList& value) { FExtraHeaders.Assign(value); }
    const String& FileName() const { return FFileName; }
    void SetFileName(const String& value) { FFileName = value; }
    const String& Name() const { return FName; }
    void SetName(const String& value) { FName = value; }
    TIdHeaderList& Headers() { return FHeaders; }
    const TIdHeaderList& Headers() const { return FHeaders; }
    bool IsEncoded() const { return FIsEncoded; }
    void SetIsEncoded(bool value) { FIsEncoded = value; }
    // Index, in the same collection, of the multipart part holding this one; -1 at
    // the top level.
    int ParentPart() const { return FParentPart; }
    void SetParentPart(int value) { FParentPart = value; }

    // Receiving side: where a decoder delivers the part's data.
    std::function<void(TStream& stream)> OnGetMessagePartStream;

    // The part collection the part is in, or none.
    TIdMessageParts* MessageParts() const;
    // The message owning that collection, or none.
    TIdMessage* OwnerMessage() const;

    // The "charset" parameter of a header value.
    static String GetCharSet(StringView headerValue);
    // A content type for the part: the given one when it is set; otherwise, in a MIME
    // message, "text/plain", or "message/rfc822" inside a multipart/digest part;
    // empty for a part outside a MIME message.
    String ResolveContentType(const String& contentType) const;

protected:
    explicit TIdMessagePart(TCollection* collection);

    // Kept for a decoder of received parts.
    String FContentMD5;
    String FEndBoundary;

private:
    String FCharSet;
    TIdHeaderList FExtraHeaders{TIdHeaderQuotingType::QuoteRFC822};
    String FFileName;
    String FName;
    TIdHeaderList FHeaders{TIdHeaderQuotingType::QuoteRFC822};
    bool FIsEncoded = false;
    int FParentPart = -1;
};

class TIdMessageParts : public TOwnedCollectionOf<TIdMessagePart> {
public:
    // owner: normally the message. The attachment encoding starts as "MIME".
    explicit TIdMessageParts(TComponent* owner = nullptr);

    TComponent* Owner() const { return FOwner; }
    TIdMessage* OwnerMessage() const;

    // Returns no part: a part joins the collection only by being created with it.
    TIdMessagePart* Add() { return nullptr; }

    // The name of the message encoder used for attachments ("MIME", "UUE", ...).
    // An unregistered name raises EIdException "Message encoder not found: <name>"
    // and leaves the current one.
    const String& AttachmentEncoding() const { return FAttachmentEncoding; }
    void SetAttachmentEncoding(const String& value);
    const TIdMessageEncoderInfo& MessageEncoderInfo() const { return *FMessageEncoderInfo; }

    // Counts related parts (with a content ID), text parts and attachments.
    void CountParts();
    int AttachmentCount() const { return FAttachmentCount; }
    int RelatedPartCount() const { return FRelatedPartCount; }
    int TextPartCount() const { return FTextPartCount; }

    // Copies the given part into the part at index.
    void SetItems(int index, const TIdMessagePart& value);

private:
    TComponent* FOwner;
    String FAttachmentEncoding;
    int FAttachmentCount = 0;
    const TIdMessageEncoderInfo* FMessageEncoderInfo = nullptr;
    int FRelatedPartCount = 0;
    int FTextPartCount = 0;
};
