#pragma once
// TIdSASLUserPass: the base of the mechanisms that log in with a user name and a
// password. The credentials go out as UTF-8 (RFC 4616 for PLAIN; LOGIN servers
// expect the same).

#include "smtp/IdSASL.h"

class TIdSASLUserPass : public TIdSASL {
public:
    explicit TIdSASLUserPass(TIdCreationKey key) : TIdSASL(key) {}

    const String& Username() const { return FUsername; }
    void SetUsername(const String& AValue) { FUsername = AValue; }
    const String& Password() const { return FPassword; }
    void SetPassword(const String& AValue) { FPassword = AValue; }

    // A user name is needed; an empty password may be the account's.
    bool IsReadyToStart() override { return !FUsername.empty(); }

protected:
    // The text's UTF-8 bytes, one character per byte.
    static String Octets(const String& AText);

private:
    String FUsername;
    String FPassword;
};
