#pragma once
// A text part: body lines written in the part's charset.

#include "mail/IdMessageParts.h"
#include "mime/IdStrings.h"

class TIdText : public TIdMessagePart {
public:
    // With a copy of the given body lines, if any.
    explicit TIdText(TCollection* collection, const TStrings* body = nullptr);

    // From another text part, the body lines first; then as every part.
    void Assign(const TCollectionItem& source) override;
    TIdMessagePartType PartType() const override { return TIdMessagePartType::mptText; }

    TStrings& Body() { return FBody; }
    const TStrings& Body() const { return FBody; }
    // Copies the lines.
    virtual void SetBody(const TStrings& value);

    // True when a body line holds a character above 127 (7bit will not do).
    bool IsBodyEncodingRequired() const;

private:
    TStringList FBody;
};

// True when a line holds a character above 127.
bool LinesNeedEncoding(const TStrings& lines);
