#include "smtp/IdReply.h"

#include "smtp/IdExceptionCore.h"

TIdReply::TIdReply(TCollection* collection, TIdReplies* replyTexts)
    : TCollectionItem(collection)
    , FReplyTexts(replyTexts)
{
}

void TIdReply::SetCode(const String& value)
{
    if (value == FCode)
        return;
    if (!IsValidCode(value))
        EIdException::Toss(Format(u"Reply Code is not valid: %s", {value}));
    if (const auto* replies = dynamic_cast<const TIdReplies*>(Collection()); replies && replies->Find(value))
        EIdException::Toss(Format(u"Reply Code already exists: %s", {value}));
    Clear();
    FCode = value;
}

std::int32_t TIdReply::NumericCode() const
{
    return StrToIntDef(FCode, 0);
}

void TIdReply::SetNumericCode(std::int32_t value)
{
    SetCode(IntToStr(value));
}

bool TIdReply::IsValidCode(StringView) const
{
    return true;
}

TStrings TIdReply::FormattedReply() const
{
    return {};
}

void TIdReply::Clear()
{
    FText.Clear();
    FCode.clear();
}

bool TIdReply::IsEndMarker(StringView) const
{
    return false;
}

bool TIdReply::ReplyExists() const
{
    return !FCode.empty();
}

void TIdReply::SetReply(std::int32_t code, const String& text)
{
    SetReply(IntToStr(code), text);
}

void TIdReply::SetReply(const String& code, const String& text)
{
    SetCode(code);
    FText.SetText(text);
}

void TIdReply::Assign(const TIdReply& source)
{
    AssignError(source);
}

void TIdReply::AssignError(const TIdReply& source) const
{
    throw EConvertError(Format(u"Cannot assign a %s to a %s", {source.ClassName(), ClassName()}));
}

void TIdReply::UpdateText()
{
    if (FReplyTexts)
        FReplyTexts->UpdateText(*this);
}

String TIdReply::DisplayName() const
{
    if (FText.IsEmpty())
        return FCode;
    return FCode + u' ' + FText[0];
}

// --- TIdReplies -------------------------------------------------------------------

template <class Code>
TIdReply& TIdReplies::AddWith(const Code& code, const String& text)
{
    // The item knows its collection while its reply is set (so a duplicate code is
    // refused) but joins it only when that succeeded.
    std::unique_ptr<TIdReply> item = FReplyClass(this, nullptr);
    item->SetReply(code, text);
    TIdReply& ref = *item;
    Adopt(std::move(item));
    return ref;
}

TIdReply& TIdReplies::Add(std::int32_t code, const String& text)
{
    return AddWith(code, text);
}

TIdReply& TIdReplies::Add(const String& code, const String& text)
{
    return AddWith(code, text);
}

TIdReply* TIdReplies::Find(StringView code, const TIdReply* ignore) const
{
    if (code.empty())
        return nullptr;
    for (int i = 0; i < Count(); ++i) {
        TIdReply& item = Items(i);
        if (&item != ignore && item.Code() == code)
            return &item;
    }
    return nullptr;
}

void TIdReplies::UpdateText(TIdReply& reply) const
{
    if (!reply.Text().IsEmpty())
        return;
    if (const TIdReply* item = Find(reply.Code(), &reply))
        reply.SetText(item->Text());
}
