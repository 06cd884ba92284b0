#pragma once
// TIdSASL: one SASL mechanism (RFC 4422) as the login framework drives it
// (smtp/IdSASLCollection.h). A mechanism only makes the client's responses; sending
// them, base64 and the server's replies are the framework's business. Challenges and
// responses are octet strings held as text, one character per byte.

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"
#include "smtp/IdBaseComponent.h"

class TIdSASL : public TIdBaseComponent {
public:
    explicit TIdSASL(TIdCreationKey key) : TIdBaseComponent(key) {}

    // The response sent with the command itself (RFC 4954 initial response), if the
    // mechanism has one. None here.
    virtual bool TryStartAuthenticate(const String& AHost, const String& AProtocolName, String& VInitialResponse);
    // The response to the server's first challenge.
    virtual String StartAuthenticate(const String& AChallenge, const String& AHost, const String& AProtocolName) = 0;
    // The responses to later challenges. Empty here.
    virtual String ContinueAuthenticate(const String& ALastResponse, const String& AHost,
                                        const String& AProtocolName);
    // The exchange has ended, whatever its outcome. Nothing here.
    virtual void FinishAuthenticate() {}
    // Whether the mechanism has what it needs (credentials, say). True here.
    virtual bool IsReadyToStart() { return true; }
    // Whether ServiceName is among the offered mechanism names.
    virtual bool IsAuthProtocolAvailable(const TStrings& AFeatStrings) const;
    // The mechanism's registered name ("LOGIN", "PLAIN"); "" here.
    virtual String ServiceName() const { return String(); }
};
