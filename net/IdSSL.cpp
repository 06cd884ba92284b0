#include "net/IdSSL.h"

void TIdSSLIOHandlerSocketBase::InitializeDefaults()
{
    TIdIOHandlerStack::InitializeDefaults();
    fPassThrough = false;
    fIsPeer = false;
    FURIToCheck.clear();
}

std::int32_t TIdSSLIOHandlerSocketBase::ReceiveFromSource(TIdBytes& VBuffer)
{
    return fPassThrough ? TIdIOHandlerStack::ReceiveFromSource(VBuffer) : ReceiveEncrypted(VBuffer);
}

std::int32_t TIdSSLIOHandlerSocketBase::SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset,
                                                     std::int32_t ALength)
{
    return fPassThrough ? TIdIOHandlerStack::SendToTarget(ABuffer, AOffset, ALength)
                        : SendEncrypted(ABuffer, AOffset, ALength);
}
