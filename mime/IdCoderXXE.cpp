#include "mime/IdCoderXXE.h"

TIdEncoderXXE::TIdEncoderXXE(TIdCreationKey key)
    : TIdEncoderUUEBase(key)
{
    SetCodingTable("+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", '+');
}
