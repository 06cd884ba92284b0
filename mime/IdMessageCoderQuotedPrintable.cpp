#include "mime/IdMessageCoderQuotedPrintable.h"

#include "mime/IdCoderQuotedPrintable.h"

void TIdMessageEncoderQuotedPrintable::Encode(TStream& source, TStream& destination)
{
    MakeComponent<TIdEncoderQuotedPrintable>()->Encode(source, destination, -1);
}
