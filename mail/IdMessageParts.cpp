#include "mail/IdMessageParts.h"

#include "mail/IdMessage.h"
#include "mime/IdClassName.h"
#include "mime/IdCoderHeader.h"
#include "mime/IdMessageCoder.h"
#include "smtp/IdExceptionCore.h"

namespace {

// Takes the parameter out of a header value: the value without it, and what it held.
String TakeParam(const String& value, StringView param, String& taken)
{
    return ReplaceParam(value, param, u"", TIdHeaderQuotingType::QuoteMIME, taken);
}

} // namespace

// --- TIdMessagePart ----------------------------------------------------------------------

TIdMessagePart::TIdMessagePart(TCollection* collection) : TCollectionItem(collection)
{
}

void TIdMessagePart::Create(TCollection*)
{
    EIdException::Toss<EIdCanNotCreateMessagePart>(u"TIdMessagePart can not be created.  Use descendant classes. ");
}

void TIdMessagePart::Assign(const TCollectionItem& source)
{
    const auto* part = dynamic_cast<const TIdMessagePart*>(&source);
    if (!part)
        throw EConvertError(Format(u"Cannot assign a %s to a %s", {ClassNameOf(typeid(source)), ClassNameOf(typeid(*this))}));
    if (part == this)
        return;
    FHeaders.Assign(part->FHeaders);
    FExtraHeaders.Assign(part->FExtraHeaders);
    FCharSet = part->FCharSet;
    FFileName = part->FFileName;
    FName = part->FName;
}

String TIdMessagePart::ContentDisposition() const { return FHeaders.GetValue(u"Content-Disposition"); }
String TIdMessagePart::ContentType() const { return FHeaders.GetValue(u"Content-Type"); }
String TIdMessagePart::ContentTransfer() const { return FHeaders.GetValue(u"Content-Transfer-Encoding"); }
String TIdMessagePart::ContentID() const { return FHeaders.GetValue(u"Content-ID"); }
String TIdMessagePart::ContentLocation() const { return FHeaders.GetValue(u"Content-Location"); }
String TIdMessagePart::ContentDescription() const { return FHeaders.GetValue(u"Content-Description"); }

void TIdMessagePart::SetContentDisposition(const String& value)
{
    String fileName;
    FHeaders.SetValue(u"Content-Disposition", TakeParam(value, u"filename", fileName));
    if (!fileName.empty())
        FFileName = DecodeEncodedWords(fileName);
}

void TIdMessagePart::SetContentType(const String& value)
{
    String charSet;
    String name;
    const String rest = TakeParam(TakeParam(value, u"charset", charSet), u"name", name);
    FHeaders.SetValue(u"Content-Type", rest);
    if (!charSet.empty())
        FCharSet = charSet;
    if (!name.empty())
        FName = name;
}

void TIdMessagePart::SetContentTransfer(const String& value) { FHeaders.SetValue(u"Content-Transfer-Encoding", value); }
void TIdMessagePart::SetContentID(const String& value) { FHeaders.SetValue(u"Content-ID", value); }
void TIdMessagePart::SetContentDescription(const String& value) { FHeaders.SetValue(u"Content-Description", value); }
void TIdMessagePart::SetContentLocation(const String& value) { FHeaders.SetValue(u"Content-Location", value); }

TIdMessagePartType TIdMessagePart::PartType() const
{
    return TIdMessagePartType::mptAttachment;
}

TIdMessageParts* TIdMessagePart::MessageParts() const
{
    return dynamic_cast<TIdMessageParts*>(Collection());
}

TIdMessage* TIdMessagePart::OwnerMessage() const
{
    const TIdMessageParts* parts = MessageParts();
    return parts ? parts->OwnerMessage() : nullptr;
}

String TIdMessagePart::GetCharSet(StringView headerValue)
{
    return ExtractHeaderParam(headerValue, u"charset", TIdHeaderQuotingType::QuoteMIME);
}

String TIdMessagePart::ResolveContentType(const String& contentType) const
{
    if (!contentType.empty())
        return contentType;
    const TIdMessageParts* parts = MessageParts();
    const TIdMessage* message = OwnerMessage();
    if (!parts || !message || message->Encoding() != TIdMessageEncoding::meMIME)
        return {};
    // A parent index that names no part leaves the part at the top level.
    if (FParentPart < 0 || FParentPart >= parts->Count())
        return u"text/plain";
    return HasMediaType(parts->Items(FParentPart).ContentType(), u"multipart/digest") ? u"message/rfc822"
                                                                                       : u"text/plain";
}

// --- TIdMessageParts ---------------------------------------------------------------------

TIdMessageParts::TIdMessageParts(TComponent* owner) : FOwner(owner)
{
    SetAttachmentEncoding(u"MIME");
}

TIdMessage* TIdMessageParts::OwnerMessage() const
{
    return dynamic_cast<TIdMessage*>(FOwner);
}

void TIdMessageParts::SetAttachmentEncoding(const String& value)
{
    FMessageEncoderInfo = &TIdMessageEncoderList::ByName(value);
    FAttachmentEncoding = value;
}

void TIdMessageParts::CountParts()
{
    FAttachmentCount = 0;
    FRelatedPartCount = 0;
    FTextPartCount = 0;
    for (int i = 0; i < Count(); ++i) {
        const TIdMessagePart& part = Items(i);
        if (!part.ContentID().empty())
            ++FRelatedPartCount;
        if (part.PartType() == TIdMessagePartType::mptText)
            ++FTextPartCount;
        else
            ++FAttachmentCount;
    }
}

void TIdMessageParts::SetItems(int index, const TIdMessagePart& value)
{
    Items(index).Assign(value);
}
