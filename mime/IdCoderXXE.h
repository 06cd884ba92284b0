#pragma once
// Xxencode: the uuencode framing with a table of letters, digits, "+" and "-" only,
// which survives gateways that change punctuation. "+" stands for zero.

#include "mime/IdCoderUUE.h"

class TIdEncoderXXE : public TIdEncoderUUEBase, public TIdEncoderClassMethods<TIdEncoderXXE> {
public:
    explicit TIdEncoderXXE(TIdCreationKey key);
};
