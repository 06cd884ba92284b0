#pragma once
// BinHex 4 message encoder: the whole source as one BinHex 4.0 file named Filename.

#include "mime/IdMessageCoder.h"

class TIdMessageEncoderBinHex4 : public TIdMessageEncoder {
public:
    explicit TIdMessageEncoderBinHex4(TIdCreationKey key) : TIdMessageEncoder(key) {}
    using TIdMessageEncoder::Encode;
    void Encode(TStream& source, TStream& destination) override;
};

class TIdMessageEncoderInfoBinHex4 : public TIdMessageEncoderInfo {
public:
    TIdMessageEncoderInfoBinHex4() : TIdMessageEncoderInfo(&MakeMessageEncoder<TIdMessageEncoderBinHex4>) {}
};
