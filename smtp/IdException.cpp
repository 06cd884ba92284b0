#include "smtp/IdException.h"

Exception::Exception(String message)
    : FMessage(std::move(message))
    , FWhat(ToUtf8(FMessage))
{
}
