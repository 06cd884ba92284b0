#pragma once
// The SASL login framework (RFC 4422 over a command connection, as RFC 4954 does it
// for SMTP): a list of mechanisms the client may use (TIdSASLEntries), the names the
// server offers in its capability lines, and the exchange of base64 lines that logs
// in with the first mechanism both sides know.
//
//   auto& login = MakeOwnedComponent<TIdSASLLogin>(*smtp);
//   login.SetUsername(u"loja@example.com"); login.SetPassword(secret);
//   smtp->SASLMechanisms().Add().SetSASL(&login);
//   smtp->SetAuthType(TIdSMTPAuthenticationType::satSASL);
//
// The entries only refer to the mechanisms. The collection's owner (the client) is
// told when a mechanism is destroyed and drops the entries that refer to it.

#include "mime/IdCollection.h"
#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"

#include <memory>
#include <vector>

class TComponent;
class TIdSASL;
class TIdTCPConnection;

class TIdSASLListEntry : public TCollectionItem {
public:
    explicit TIdSASLListEntry(TCollection* collection = nullptr) : TCollectionItem(collection) {}

    TIdSASL* SASL() const { return FSASL; }
    // The collection's owner is told when the mechanism is destroyed.
    void SetSASL(TIdSASL* AValue);
    void Assign(const TIdSASLListEntry& ASource) { SetSASL(ASource.SASL()); }

private:
    TIdSASL* FSASL = nullptr;
};

class TIdSASLEntries : public TOwnedCollectionOf<TIdSASLListEntry> {
public:
    // AOwner: the component that watches the mechanisms (the client), or none.
    explicit TIdSASLEntries(TComponent* AOwner = nullptr) : FOwner(AOwner) {}

    TComponent* Owner() const { return FOwner; }
    TIdSASLListEntry& Add();
    // Replaces the entries with entries for the same mechanisms.
    void Assign(const TIdSASLEntries& ASource);
    // Deletes every entry that refers to the component.
    void RemoveByComp(const TComponent* AComponent);
    // The first entry's mechanism whose ServiceName is the name (case ignored), or none.
    TIdSASL* FindSASL(StringView AServiceName) const;

    // The mechanism names offered by the capability lines that begin with
    // AAuthString followed by a blank or "=" (case ignored), in upper case, each
    // appended once: "AUTH LOGIN PLAIN" and "AUTH=LOGIN" both offer LOGIN, "AUTHX
    // LOGIN" offers nothing. Nothing happens without capability lines.
    static void ParseCapaReplyToList(const TStrings* ACapaReply, TStrings& ADestList,
                                     StringView AAuthString = u"AUTH");
    static std::unique_ptr<TStringList> ParseCapaReply(const TStrings* ACapaReply, StringView AAuthString = u"AUTH");

    // Logs in with the mechanisms that the server offers, from the last entry to the
    // first, skipping those not ready to start; the first that succeeds ends it.
    //   no entry refers to a mechanism:  EIdSASLMechNeeded "Need SASL mechanisms to login with it!!"
    //   none of them is offered:         EIdSASLNotSupported "Doesn't support AUTH or the specified SASL handlers!!"
    //   none of those is ready:          EIdSASLNotReady "The specified SASL handlers are not ready!!"
    //   all that tried failed:           the exception of the first one's final reply
    // A mechanism's exchange: ACmd, its name and (with ACanAttemptIR, when it has
    // one) its initial response in base64; then, while the reply's code is one of
    // AContinueReplies, the challenge decoded and the mechanism's answer in base64;
    // a code of AOkReplies succeeds, any other fails.
    void LoginSASL(const String& ACmd, const String& AHost, const String& AProtocolName,
                   const std::vector<String>& AOkReplies, const std::vector<String>& AContinueReplies,
                   TIdTCPConnection& AClient, const TStrings* ACapaReply, StringView AAuthString = u"AUTH",
                   bool ACanAttemptIR = true);
    // The same with the one mechanism named AServiceName, which must be offered and
    // listed (else EIdSASLNotSupported) and ready (else EIdSASLNotReady); a failed
    // exchange raises its final reply's exception.
    void LoginSASL(const String& ACmd, const String& AHost, const String& AProtocolName, const String& AServiceName,
                   const std::vector<String>& AOkReplies, const std::vector<String>& AContinueReplies,
                   TIdTCPConnection& AClient, const TStrings* ACapaReply, StringView AAuthString = u"AUTH",
                   bool ACanAttemptIR = true);

private:
    TComponent* FOwner;
};
