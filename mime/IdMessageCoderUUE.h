#pragma once
// UUE message encoder (and, through its base, the XXE one): "begin", the permission
// code and the file name; a line per 45 bytes; a line holding the coder's fill
// character (a line of zero bytes); "end". Every line ends in CR LF.

#include "mime/IdCoderUUE.h"
#include "mime/IdMessageCoder.h"

using TIdEncoderUUEBaseClass = std::unique_ptr<TIdEncoderUUEBase> (*)();

class TIdMessageEncoderUUEBase : public TIdMessageEncoder {
public:
    TIdMessageEncoderUUEBase(TIdCreationKey key, TIdEncoderUUEBaseClass encoderClass)
        : TIdMessageEncoder(key), FEncoderClass(encoderClass) {}
    using TIdMessageEncoder::Encode;
    // From the start of the source. The file name goes out in 8-bit characters.
    void Encode(TStream& source, TStream& destination) override;

protected:
    TIdEncoderUUEBaseClass FEncoderClass;
};

class TIdMessageEncoderUUE : public TIdMessageEncoderUUEBase {
public:
    explicit TIdMessageEncoderUUE(TIdCreationKey key)
        : TIdMessageEncoderUUEBase(key, [] { return std::unique_ptr<TIdEncoderUUEBase>(MakeComponent<TIdEncoderUUE>()); }) {}
};

class TIdMessageEncoderInfoUUE : public TIdMessageEncoderInfo {
public:
    TIdMessageEncoderInfoUUE() : TIdMessageEncoderInfo(&MakeMessageEncoder<TIdMessageEncoderUUE>) {}
};
