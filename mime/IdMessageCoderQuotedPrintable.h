#pragma once
// The quoted-printable message encoder: the coder's lines, from the source's
// current position to its end.

#include "mime/IdMessageCoder.h"

class TIdMessageEncoderQuotedPrintable : public TIdMessageEncoder {
public:
    explicit TIdMessageEncoderQuotedPrintable(TIdCreationKey key) : TIdMessageEncoder(key) {}
    using TIdMessageEncoder::Encode;
    void Encode(TStream& source, TStream& destination) override;
};

class TIdMessageEncoderInfoQuotedPrintable : public TIdMessageEncoderInfo {
public:
    TIdMessageEncoderInfoQuotedPrintable()
        : TIdMessageEncoderInfo(&MakeMessageEncoder<TIdMessageEncoderQuotedPrintable>) {}
};
