#include "smtp/IdSMTP.h"

#include "mail/IdEMailAddress.h"
#include "mail/IdMessage.h"
#include "mime/IdCoderMIME.h"

namespace {

// A text as base64 of its 8-bit bytes (characters above 255 become "?"), on one line.
String Base64Line(const String& AText)
{
    return TIdEncoderMIME::EncodeString(AText, IndyTextEncoding_8Bit());
}

} // namespace

void TIdSMTP::InitializeDefaults()
{
    TIdSMTPBase::InitializeDefaults();
    FAuthType = TIdSMTPAuthenticationType::satDefault;
    FDidAuthenticate = false;
    FValidateAuthLoginCapability = true;
    FSASLMechanisms.Clear();
}

void TIdSMTP::Notification(TComponent* AComponent, TOperation AOperation)
{
    if (AOperation == TOperation::opRemove)
        FSASLMechanisms.RemoveByComp(AComponent);
    TIdSMTPBase::Notification(AComponent, AOperation);
}

void TIdSMTP::SetUseEhlo(bool AValue)
{
    TIdSMTPBase::SetUseEhlo(AValue);
    if (!AValue)
        FAuthType = TIdSMTPAuthenticationType::satDefault;
}

void TIdSMTP::Assign(const TIdSMTP& ASource)
{
    if (&ASource == this)
        return;
    SetAuthType(ASource.AuthType());
    SetHeloName(ASource.HeloName());
    SetSASLMechanisms(ASource.SASLMechanisms());
    SetUseEhlo(ASource.UseEhlo());
    SetUseTLS(ASource.UseTLS());
    SetHost(ASource.Host());
    SetMailAgent(ASource.MailAgent());
    SetPort(ASource.Port());
    SetUsername(ASource.Username());
    SetPassword(ASource.Password());
    SetPipeLine(ASource.PipeLine());
}

// --- Session ----------------------------------------------------------------------------

void TIdSMTP::Connect()
{
    // A refused second Connect leaves the live session, and its login, alone.
    if (!Connected())
        FDidAuthenticate = false;
    TIdSMTPBase::Connect();
}

void TIdSMTP::Disconnect(bool ANotifyPeer)
{
    try {
        TIdSMTPBase::Disconnect(ANotifyPeer);
    } catch (...) {
        FDidAuthenticate = false;
        throw;
    }
    FDidAuthenticate = false;
}

// --- Login ------------------------------------------------------------------------------

bool TIdSMTP::Authenticate()
{
    if (FDidAuthenticate)
        return true;
    NegotiateStartTLS();
    switch (FAuthType) {
    case TIdSMTPAuthenticationType::satNone:
        FDidAuthenticate = true;
        break;
    case TIdSMTPAuthenticationType::satDefault:
        if (Username().empty())
            break;
        if (FValidateAuthLoginCapability
            && TIdSASLEntries::ParseCapaReply(&Capabilities(), u"AUTH")->IndexOf(u"LOGIN") < 0)
            break;
        AuthenticateLogin();
        FDidAuthenticate = true;
        break;
    case TIdSMTPAuthenticationType::satSASL:
        FSASLMechanisms.LoginSASL(u"AUTH", Host(), u"smtp", {u"235"}, {u"334"}, *this, &Capabilities(), u"AUTH",
                                  true);
        FDidAuthenticate = true;
        break;
    }
    return FDidAuthenticate;
}

void TIdSMTP::AuthenticateLogin()
{
    // The server's prompts after 334 ("Username:", "Password:") are not read: the
    // order of the two answers is fixed.
    SendCmd(u"AUTH LOGIN", 334);
    if (SendCmd(Base64Line(Username()), {235, 334}) == 334)
        SendCmd(Base64Line(Password()), 235);
}

void TIdSMTP::TransmitMessage(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients)
{
    Authenticate();
    TIdSMTPBase::TransmitMessage(AMsg, AFrom, ARecipients);
}

// --- Other commands ---------------------------------------------------------------------

void TIdSMTP::Expand(const String& AUserName, TStrings& AResults)
{
    SendCmd(u"EXPN " + AUserName, {250, 251});
    AResults.AddStrings(LastCmdResult().Text());
}

String TIdSMTP::Verify(const String& AUserName)
{
    SendCmd(u"VRFY " + AUserName, {250, 251});
    const TStrings& text = LastCmdResult().Text();
    return text.Count() > 0 ? text[0] : String();
}

void TIdSMTP::QuickSend(const String& AHost, const String& ASubject, const String& ATo, const String& AFrom,
                        const String& AText)
{
    QuickSend(AHost, ASubject, ATo, AFrom, AText, String(), String(), String());
}

void TIdSMTP::QuickSend(const String& AHost, const String& ASubject, const String& ATo, const String& AFrom,
                        const String& AText, const String& AContentType, const String& ACharset,
                        const String& AContentTransferEncoding)
{
    auto smtp = MakeComponent<TIdSMTP>();
    auto msg = MakeComponent<TIdMessage>();
    msg->SetSubject(ASubject);
    msg->Recipients().SetEMailAddresses(ATo);
    msg->From().SetText(AFrom);
    msg->Body().SetText(AText);
    if (!AContentType.empty())
        msg->SetContentType(AContentType);
    if (!ACharset.empty())
        msg->SetCharSet(ACharset);
    if (!AContentTransferEncoding.empty())
        msg->SetContentTransferEncoding(AContentTransferEncoding);
    smtp->SetHost(AHost);
    smtp->Connect();
    try {
        smtp->Send(*msg);
    } catch (...) {
        try {
            smtp->Disconnect();
        } catch (...) {
            // The send's failure is the one to report.
        }
        throw;
    }
    smtp->Disconnect();
}
