// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "mime/IdMessageCoderBinHex4.h"

#include "mime/IdCoderBinHex4.h"

void TIdMessageEncoderBinHex4::Encode(TStream& source, TStream& destination)
{
    const auto coder = MakeComponent<TIdEncoderBinHex4>();
    coder->SetFileName(FFilename);
    source.SetPosition(0);
    coder->Encode(source, destination, -1);
}
