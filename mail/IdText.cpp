#include "mail/IdText.h"

#include <algorithm>

bool LinesNeedEncoding(const TStrings& lines)
{
    return std::any_of(lines.begin(), lines.end(), [](const String& line) {
        return std::any_of(line.begin(), line.end(), [](char16_t c) { return c > 127; });
    });
}

TIdText::TIdText(TCollection* collection, const TStrings* body) : TIdMessagePart(collection)
{
    if (body)
        FBody.Assign(*body);
}

void TIdText::Assign(const TCollectionItem& source)
{
    if (const auto* text = dynamic_cast<const TIdText*>(&source))
        FBody.Assign(text->FBody);
    TIdMessagePart::Assign(source);
}

void TIdText::SetBody(const TStrings& value)
{
    FBody.Assign(value);
}

bool TIdText::IsBodyEncodingRequired() const
{
    return LinesNeedEncoding(FBody);
}
