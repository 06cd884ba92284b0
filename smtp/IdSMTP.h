#pragma once
// TIdSMTP: the SMTP client with login. A session runs
//
//   smtp->SetIOHandler(&tlsHandler);                 // before the TLS mode
//   smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);    // port 25 becomes 465
//   smtp->SetHost(host); smtp->SetUsername(user); smtp->SetPassword(password);
//   smtp->Connect();                                 // greeting, EHLO
//   smtp->Authenticate();                            // AUTH LOGIN
//   smtp->Send(message);                             // MAIL, RCPT, DATA
//   smtp->Disconnect();                              // QUIT
//
// Authenticate logs in once per connection with the method AuthType selects: none,
// AUTH LOGIN (RFC 4954 with the LOGIN exchange) when the server offers it, or the
// SASL mechanisms of SASLMechanisms. Under the explicit TLS modes it first upgrades
// the session with STARTTLS. Send logs in first when that has not happened yet and
// goes on to the transaction whatever the outcome: the server decides whether it
// takes mail without a login.
//
// The password never appears in an exception message: it goes out only as base64
// inside a command line, and the server's refusal carries the server's text.

#include "smtp/IdSASLCollection.h"
#include "smtp/IdSMTPBase.h"

enum class TIdSMTPAuthenticationType { satNone, satDefault, satSASL };

class TIdSMTP : public TIdSMTPBase {
public:
    explicit TIdSMTP(TIdCreationKey key) : TIdSMTPBase(key), FSASLMechanisms(this) {}

    static String ClassName() { return u"TIdSMTP"; }

    // --- Properties ---------------------------------------------------------------
    TIdSMTPAuthenticationType AuthType() const { return FAuthType; }
    void SetAuthType(TIdSMTPAuthenticationType AValue) { FAuthType = AValue; }
    // Logged in on this connection. False after Connect begins and after Disconnect.
    bool DidAuthenticate() const { return FDidAuthenticate; }
    // With satDefault: log in only when the server offers AUTH LOGIN.
    bool ValidateAuthLoginCapability() const { return FValidateAuthLoginCapability; }
    void SetValidateAuthLoginCapability(bool AValue) { FValidateAuthLoginCapability = AValue; }
    TIdSASLEntries& SASLMechanisms() { return FSASLMechanisms; }
    const TIdSASLEntries& SASLMechanisms() const { return FSASLMechanisms; }
    void SetSASLMechanisms(const TIdSASLEntries& AValue) { FSASLMechanisms.Assign(AValue); }
    // False also sets AuthType back to satDefault.
    void SetUseEhlo(bool AValue) override;

    // Copies AuthType, HeloName, SASLMechanisms, UseEhlo, UseTLS, Host, MailAgent,
    // Port, Username, Password and PipeLine, in that order, through the setters
    // that have rules (so the port may move and UseTLS needs a TLS handler here).
    void Assign(const TIdSMTP& ASource);

    // --- Session ------------------------------------------------------------------
    void Connect() override;
    using TIdSMTPBase::Connect;
    void Disconnect(bool ANotifyPeer) override;
    using TIdSMTPBase::Disconnect;

    // Logs in (see above); returns DidAuthenticate. Once logged in it sends nothing.
    // With satDefault and no user name, or LOGIN not offered while
    // ValidateAuthLoginCapability is set, nothing is sent and the result is false.
    // A refusal raises EIdSMTPReplyError and leaves the connection open.
    virtual bool Authenticate();
    // EXPN: the server's expansion of a mailing list, in AResults (and in the text
    // lines of LastCmdResult).
    virtual void Expand(const String& AUserName, TStrings& AResults);
    // VRFY: the first line of the server's answer.
    virtual String Verify(const String& AUserName);

    // One plain-text message to ATo (comma-separated addresses) from AFrom, sent
    // through a client of its own on the host's SMTP port.
    static void QuickSend(const String& AHost, const String& ASubject, const String& ATo, const String& AFrom,
                          const String& AText);
    static void QuickSend(const String& AHost, const String& ASubject, const String& ATo, const String& AFrom,
                          const String& AText, const String& AContentType, const String& ACharset,
                          const String& AContentTransferEncoding);

protected:
    void InitializeDefaults() override;
    void Notification(TComponent* AComponent, TOperation AOperation) override;
    // Logs in first; its outcome is not looked at.
    void TransmitMessage(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients) override;

private:
    // AUTH LOGIN with the user name and the password, each in base64 on its own line.
    void AuthenticateLogin();

    TIdSMTPAuthenticationType FAuthType = TIdSMTPAuthenticationType::satDefault;
    bool FDidAuthenticate = false;
    bool FValidateAuthLoginCapability = true;
    TIdSASLEntries FSASLMechanisms;
};
