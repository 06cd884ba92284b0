// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "mime/IdCoderXXE.h"

TIdEncoderXXE::TIdEncoderXXE(TIdCreationKey key)
    : TIdEncoderUUEBase(key)
{
    SetCodingTable("+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", '+');
}
