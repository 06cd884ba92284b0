#pragma once
// TIdSASLLogin: the LOGIN mechanism. The server asks twice (its prompts, "Username:"
// and "Password:", are not read); the first answer is the user name, the second the
// password. No initial response.

#include "smtp/IdSASLUserPass.h"

class TIdSASLLogin : public TIdSASLUserPass {
public:
    explicit TIdSASLLogin(TIdCreationKey key) : TIdSASLUserPass(key) {}

    String StartAuthenticate(const String& AChallenge, const String& AHost, const String& AProtocolName) override;
    // The password after the user name; nothing more after that.
    String ContinueAuthenticate(const String& ALastResponse, const String& AHost,
                                const String& AProtocolName) override;
    String ServiceName() const override { return u"LOGIN"; }

private:
    int FAnswered = 0;
};
