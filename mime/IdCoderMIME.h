#pragma once
// Base64 (RFC 2045 section 6.8, the standard alphabet of RFC 4648), without line
// breaks; the base64 message encoder (mime/IdMessageCoderMIME.h) cuts mail lines.

#include "mime/IdCoder3to4.h"

class TIdEncoderMIME : public TIdEncoder3to4, public TIdEncoderClassMethods<TIdEncoderMIME> {
public:
    explicit TIdEncoderMIME(TIdCreationKey key);
};

// Characters outside the alphabet (line ends, blanks) are skipped, as RFC 2045
// asks; the first "=" ends the data. Left-over bits of an incomplete group are
// dropped.
class TIdDecoderMIME : public TIdDecoder, public TIdDecoderClassMethods<TIdDecoderMIME> {
public:
    explicit TIdDecoderMIME(TIdCreationKey key) : TIdDecoder(key) {}
    void Decode(StringView encoded, TStream& destination) override;
};
