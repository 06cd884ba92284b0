#pragma once
// TIdSASLPlain: the PLAIN mechanism (RFC 4616): one message, an empty authorisation
// identity, the user name and the password, separated by NUL bytes. Sent as the
// initial response when the framework allows one, else in answer to the server's
// empty challenge.

#include "smtp/IdSASLUserPass.h"

class TIdSASLPlain : public TIdSASLUserPass {
public:
    explicit TIdSASLPlain(TIdCreationKey key) : TIdSASLUserPass(key) {}

    bool TryStartAuthenticate(const String& AHost, const String& AProtocolName, String& VInitialResponse) override;
    String StartAuthenticate(const String& AChallenge, const String& AHost, const String& AProtocolName) override;
    String ServiceName() const override { return u"PLAIN"; }

private:
    String Message() const;
};
