#include "smtp/IdExplicitTLSClientServerBase.h"

void TIdExplicitTLSClient::InitializeDefaults()
{
    TIdTCPClientCustom::InitializeDefaults();
    FUseTLS = TIdUseTLS::utNoTLSSupport;
}

void TIdExplicitTLSClient::SetUseTLS(TIdUseTLS AValue)
{
    FUseTLS = AValue;
}
