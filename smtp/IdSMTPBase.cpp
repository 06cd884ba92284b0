#include "smtp/IdSMTPBase.h"

#include "mail/IdEMailAddress.h"
#include "mail/IdMessage.h"
#include "net/IdSSL.h"
#include "net/IdStack.h"
#include "platform/HostName.h"
#include "smtp/IdReplySMTP.h"

namespace {

bool IsRecipientAccepted(std::int32_t ACode)
{
    return ACode == 250 || ACode == 251;
}

// To, Cc and Bcc of the message, as copies, in that order.
void CollectRecipients(TIdMessage& AMsg, TIdEMailAddressList& AList)
{
    AList.AddItems(&AMsg.Recipients());
    AList.AddItems(&AMsg.CCList());
    AList.AddItems(&AMsg.BccList());
}

} // namespace

void TIdSMTPBase::InitializeDefaults()
{
    TIdMessageClient::InitializeDefaults();
    SetImplicitTLSPort(IdPORT_ssmtp);
    SetRegularPort(IdPORT_SMTP);
    FMailAgent.clear();
    FHeloName.clear();
    FPipeLine = false;
    FUseEhlo = true;
    FUseVerp = false;
    FVerpDelims.clear();
    SetPort(IdPORT_SMTP);
}

TIdReplyClass TIdSMTPBase::DefaultReplyClass() const
{
    return &CreateWithReplyTexts<TIdReplySMTP>;
}

// --- Settings ---------------------------------------------------------------------------

void TIdSMTPBase::SetPipeLine(bool AValue)
{
    if (AValue)
        SetUseEhlo(true);
    FPipeLine = AValue;
}

void TIdSMTPBase::SetUseEhlo(bool AValue)
{
    FUseEhlo = AValue;
    if (!AValue && (UseTLS() == TIdUseTLS::utUseRequireTLS || UseTLS() == TIdUseTLS::utUseExplicitTLS)) {
        StoreUseTLS(TIdUseTLS::utNoTLSSupport);
        FPipeLine = false;
    }
}

void TIdSMTPBase::SetUseTLS(TIdUseTLS AValue)
{
    TIdMessageClient::SetUseTLS(AValue);
    if (AValue == TIdUseTLS::utUseRequireTLS || AValue == TIdUseTLS::utUseExplicitTLS)
        SetUseEhlo(true);
}

bool TIdSMTPBase::SupportsTLS() const
{
    return Capabilities().IndexOf(u"STARTTLS") >= 0;
}

// --- Session ----------------------------------------------------------------------------

void TIdSMTPBase::Connect()
{
    if (Connected())
        EIdException::Toss<EIdAlreadyConnected>(u"Already connected.");
    if (TIdSSLIOHandlerSocketBase* tls = TLSIOHandler())
        tls->SetPassThrough(UseTLS() != TIdUseTLS::utUseImplicitTLS); // plain until STARTTLS
    else if (UseTLS() != TIdUseTLS::utNoTLSSupport)
        RequireTLSIOHandler();
    TIdMessageClient::Connect();
    try {
        GetResponse(220);
        SendHello();
    } catch (...) {
        DisconnectAfterFailure(false);
        throw;
    }
}

String TIdSMTPBase::HelloName()
{
    if (!FHeloName.empty())
        return FHeloName;
    String name = GStack().HostName();
    if (name.empty())
        name = FromUtf8(orvant::platform::HostName());
    return name;
}

void TIdSMTPBase::SendHello()
{
    Capabilities().Clear();
    const String name = HelloName();
    if (FUseEhlo && SendCmd(u"EHLO " + name) == 250) {
        // The first line is the server's name and greeting, not a capability.
        Capabilities().AddStrings(LastCmdResult().Text());
        if (Capabilities().Count() > 0)
            Capabilities().Delete(0);
        return;
    }
    SendCmd(u"HELO " + name, 250);
}

void TIdSMTPBase::NegotiateStartTLS()
{
    TIdSSLIOHandlerSocketBase* tls = TLSIOHandler();
    if (!tls || UseTLS() == TIdUseTLS::utNoTLSSupport || !tls->PassThrough())
        return;
    try {
        if (!SupportsTLS()) {
            TLSNotAvailable();
        } else if (SendCmd(u"STARTTLS") == 220) {
            StartTLSHandshake();
            SendHello(); // what the server offers may change under TLS (RFC 3207 4.2)
        } else {
            TLSNegCmdFailed();
        }
    } catch (...) {
        DisconnectAfterFailure(true); // the upgrade's failure is the one to report
        throw;
    }
}

void TIdSMTPBase::DisconnectNotifyPeer()
{
    SendCmd(u"QUIT", 221);
}

void TIdSMTPBase::Disconnect(bool ANotifyPeer)
{
    const auto dropUnread = [this] {
        if (TIdIOHandler* io = IOHandler())
            io->InputBuffer().Clear();
    };
    try {
        TIdMessageClient::Disconnect(ANotifyPeer);
    } catch (...) {
        dropUnread();
        throw;
    }
    dropUnread();
}

void TIdSMTPBase::GetInternalResponse(const IIdTextEncodingPtr& AEncoding)
{
    try {
        TIdMessageClient::GetInternalResponse(AEncoding);
    } catch (...) {
        // Whatever is left of the reply would be read as the next one.
        DisconnectAfterFailure(false);
        throw;
    }
}

// --- Sending ----------------------------------------------------------------------------

void TIdSMTPBase::Send(TIdMessage& AMsg)
{
    TIdEMailAddressList recipients;
    CollectRecipients(AMsg, recipients);
    Send(AMsg, recipients);
}

void TIdSMTPBase::Send(TIdMessage& AMsg, const TIdEMailAddressList& ARecipients)
{
    String sender = Trim(AMsg.Sender().Address());
    if (sender.empty())
        sender = Trim(AMsg.From().Address());
    TransmitMessage(AMsg, sender, ARecipients);
}

void TIdSMTPBase::Send(TIdMessage& AMsg, const String& AFrom)
{
    TIdEMailAddressList recipients;
    CollectRecipients(AMsg, recipients);
    Send(AMsg, recipients, AFrom);
}

void TIdSMTPBase::Send(TIdMessage& AMsg, const TIdEMailAddressList& ARecipients, const String& AFrom)
{
    TransmitMessage(AMsg, AFrom, ARecipients);
}

void TIdSMTPBase::TransmitMessage(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients)
{
    AMsg.ExtraHeaders().SetValue(u"X-Mailer", FMailAgent); // an empty agent removes the header
    if (FPipeLine && Capabilities().IndexOf(u"PIPELINING") >= 0)
        TransmitPipelined(AMsg, AFrom, ARecipients);
    else
        TransmitPlain(AMsg, AFrom, ARecipients);
}

String TIdSMTPBase::MailFromCommand(const String& AFrom) const
{
    String command = u"MAIL FROM:<" + AFrom + u">";
    if (FUseVerp) {
        command += Capabilities().IndexOf(u"VERP") >= 0 ? u" VERP" : u" XVERP";
        if (!FVerpDelims.empty())
            command += u"=" + FVerpDelims;
    }
    return command;
}

void TIdSMTPBase::TransmitPlain(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients)
{
    SendCmd(MailFromCommand(AFrom), 250);
    try {
        SendRecipients(ARecipients);
        SendCmd(u"DATA", 354);
        WriteMessageData(AMsg);
        SendCmd(u".", 250);
    } catch (const EIdSMTPReplyError&) {
        ResetAfterRefusal();
        throw;
    }
}

void TIdSMTPBase::TransmitPipelined(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients)
{
    TIdIOHandler& io = RequireIOHandler();
    const bool ownBuffering = !io.WriteBufferingActive();
    if (ownBuffering)
        io.WriteBufferOpen(-1);
    try {
        WriteCommand(MailFromCommand(AFrom));
        for (int i = 0; i < ARecipients.Count(); ++i)
            WriteCommand(u"RCPT TO:<" + ARecipients[i].Address() + u">");
        WriteCommand(u"DATA");
        if (ownBuffering)
            io.WriteBufferClose();
    } catch (...) {
        // Nothing of the group is sent (a bad address refuses the whole group).
        if (ownBuffering)
            io.WriteBufferCancel();
        throw;
    }

    // The replies arrive in the order of the commands (RFC 2920 3.1); the first
    // refusal is the one reported, after the others have been read.
    std::exception_ptr failure;
    auto keepFailure = [&] {
        if (!failure)
            failure = LastCmdResultError();
    };
    try {
        if (GetResponse() != 250)
            keepFailure();
        if (ARecipients.Count() > 0) {
            int refused = 0;
            for (int i = 0; i < ARecipients.Count(); ++i) {
                if (IsRecipientAccepted(GetResponse()))
                    continue;
                ++refused;
                if (!ContinueAfterFailedRecipient(ARecipients[i].Address()))
                    keepFailure();
            }
            if (refused == ARecipients.Count())
                keepFailure();
        }
        if (GetResponse() == 354) {
            WriteMessageData(AMsg);
            if (SendCmd(u".") != 250)
                keepFailure();
        } else {
            keepFailure();
        }
    } catch (const std::exception&) {
        if (!failure)
            throw;
        // A server that refuses with 421 closes the connection, so the reply read
        // next fails; the refusal is what tells the user why.
        DisconnectAfterFailure(false);
        std::rethrow_exception(failure);
    }
    if (failure) {
        ResetAfterRefusal();
        std::rethrow_exception(failure);
    }
}

void TIdSMTPBase::ResetAfterRefusal()
{
    try {
        SendCmd(u"RSET"); // any code: the session is clean for the next message
    } catch (const std::exception&) {
        // Mostly a server that refused with 421 and closed the connection: its refusal
        // is being raised and must not give way to this. A session whose RSET failed is
        // out of step, so it is closed and the tear-down sends no QUIT into it.
        DisconnectAfterFailure(false);
    }
}

void TIdSMTPBase::WriteMessageData(TIdMessage& AMsg)
{
    try {
        SendMsg(AMsg, false);
    } catch (...) {
        DisconnectAfterFailure(false);
        throw;
    }
}

void TIdSMTPBase::SendRecipients(const TIdEMailAddressList& ARecipients)
{
    if (ARecipients.Count() == 0)
        return;
    int refused = 0;
    for (int i = 0; i < ARecipients.Count(); ++i) {
        const String& address = ARecipients[i].Address();
        if (SendRecipient(address))
            continue;
        ++refused;
        if (!ContinueAfterFailedRecipient(address))
            RaiseExceptionForLastCmdResult();
    }
    if (refused == ARecipients.Count())
        RaiseExceptionForLastCmdResult();
}

bool TIdSMTPBase::SendRecipient(const String& AAddress)
{
    return IsRecipientAccepted(SendCmd(u"RCPT TO:<" + AAddress + u">"));
}

bool TIdSMTPBase::ContinueAfterFailedRecipient(const String& AAddress)
{
    if (!OnFailedRecipient)
        return false;
    bool continueSending = true;
    OnFailedRecipient(this, AAddress, LastCmdResult().Code(), LastCmdResult().Text().Text(), continueSending);
    return continueSending;
}
