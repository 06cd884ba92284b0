#pragma once
// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
// XXE message encoder: the UUE framing with the xxencode coder.

#include "mime/IdCoderXXE.h"
#include "mime/IdMessageCoderUUE.h"

class TIdMessageEncoderXXE : public TIdMessageEncoderUUEBase {
public:
    explicit TIdMessageEncoderXXE(TIdCreationKey key)
        : TIdMessageEncoderUUEBase(key, [] { return std::unique_ptr<TIdEncoderUUEBase>(MakeComponent<TIdEncoderXXE>()); }) {}
};

class TIdMessageEncoderInfoXXE : public TIdMessageEncoderInfo {
public:
    TIdMessageEncoderInfoXXE() : TIdMessageEncoderInfo(&MakeMessageEncoder<TIdMessageEncoderXXE>) {}
};
