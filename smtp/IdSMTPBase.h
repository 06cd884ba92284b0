#pragma once
// TIdSMTPBase: an SMTP session (RFC 5321) and its mail transaction, without login.
//
// Connect opens the connection (TLS from the first byte under utUseImplicitTLS),
// reads the 220 greeting and introduces the client with EHLO, falling back to HELO
// when EHLO is not answered 250; the EHLO reply's lines, but the first, become
// Capabilities. Disconnect says QUIT. NegotiateStartTLS upgrades a plain session
// under the explicit TLS modes.
//
// Send delivers a message: MAIL FROM, one RCPT TO per envelope recipient (To, Cc
// and Bcc, in that order), DATA, the message as the writer of TIdMessageClient
// makes it, and the final ".". A refusal after MAIL FROM is followed by RSET, so the
// session is clean for the next message, and raised as EIdSMTPReplyError. With
// PipeLine and a server that offers PIPELINING, MAIL, RCPT and DATA leave in one
// write (RFC 2920) and the replies are read afterwards.
//
// Commands are written through the connection's command path, which refuses a line
// with a CR or LF: an address or a HELO name can never add a command of its own.

#include "mime/IdMessageClient.h"
#include "smtp/IdExplicitTLSClientServerBase.h"

#include <cstdint>
#include <exception>
#include <functional>

class TIdEMailAddressList;
class TIdMessage;

// A recipient the server refused: VContinue (true on entry) says whether to go on
// with the other recipients. ACode is the reply's code, AText its lines each
// followed by CR LF.
using TIdSMTPFailedRecipient = std::function<void(TComponent* Sender, const String& AAddress, const String& ACode,
                                                  const String& AText, bool& VContinue)>;

inline constexpr TIdPort IdPORT_SMTP = 25;
inline constexpr TIdPort IdPORT_ssmtp = 465;

class TIdSMTPBase : public TIdMessageClient {
public:
    explicit TIdSMTPBase(TIdCreationKey key) : TIdMessageClient(key) {}

    static String ClassName() { return u"TIdSMTPBase"; }

    // --- Properties ---------------------------------------------------------------
    // The X-Mailer header written with every message; empty removes one.
    const String& MailAgent() const { return FMailAgent; }
    void SetMailAgent(const String& AValue) { FMailAgent = AValue; }
    // The name EHLO and HELO give; empty: the local host name.
    const String& HeloName() const { return FHeloName; }
    void SetHeloName(const String& AValue) { FHeloName = AValue; }
    // True also sets UseEhlo (only EHLO learns that the server pipelines).
    bool PipeLine() const { return FPipeLine; }
    void SetPipeLine(bool AValue);
    bool UseEhlo() const { return FUseEhlo; }
    // False also drops the STARTTLS modes (to utNoTLSSupport, the port stays) and,
    // with them, PipeLine: without EHLO there is no capability list to rely on.
    virtual void SetUseEhlo(bool AValue);
    // VERP (or XVERP) on MAIL FROM, with VerpDelims when not empty.
    bool UseVerp() const { return FUseVerp; }
    void SetUseVerp(bool AValue) { FUseVerp = AValue; }
    const String& VerpDelims() const { return FVerpDelims; }
    void SetVerpDelims(const String& AValue) { FVerpDelims = AValue; }
    // The STARTTLS modes also set UseEhlo.
    void SetUseTLS(TIdUseTLS AValue) override;
    // The capability line "STARTTLS".
    bool SupportsTLS() const override;

    TIdSMTPFailedRecipient OnFailedRecipient;

    // --- Session ------------------------------------------------------------------
    // Connects, reads the greeting (220 only) and sends EHLO/HELO. A failure after the
    // connect closes the connection without QUIT. Refused while connected, without
    // touching the session, and under a TLS mode whose TLS handler has gone (it was
    // destroyed elsewhere): such a session would go out in plain text.
    void Connect() override;
    using TIdTCPClientCustom::Connect;
    // Also drops whatever the server sent that was never read: it belongs to the
    // session that ended and must not make the client count as still connected.
    void Disconnect(bool ANotifyPeer) override;
    using TIdTCPClientCustom::Disconnect;

    // --- Mail transaction ---------------------------------------------------------
    // The envelope recipients are To, Cc and Bcc in that order (duplicates kept);
    // the envelope sender is the message's Sender address, else its From address,
    // blanks removed at both ends.
    virtual void Send(TIdMessage& AMsg);
    virtual void Send(TIdMessage& AMsg, const TIdEMailAddressList& ARecipients);
    virtual void Send(TIdMessage& AMsg, const String& AFrom);
    virtual void Send(TIdMessage& AMsg, const TIdEMailAddressList& ARecipients, const String& AFrom);

protected:
    void InitializeDefaults() override;
    TIdReplyClass DefaultReplyClass() const override;
    // QUIT, accepting only 221.
    void DisconnectNotifyPeer() override;
    // A reply that cannot be read whole (no answer in time, an over-long line, a line
    // that is no reply, a broken connection) leaves the dialogue out of step: what
    // is left of it would be taken for the answer to the next command, and a QUIT
    // sent now could reach the server as data (the user name of AUTH LOGIN). The
    // session is therefore abandoned (closed without QUIT) before the error passes.
    void GetInternalResponse(const IIdTextEncodingPtr& AEncoding = nullptr) override;

    // EHLO (or HELO) with the client name; fills Capabilities.
    virtual void SendHello();
    // The STARTTLS upgrade, when a TLS mode is chosen and TLS does not run yet: the
    // command, the handshake and a new EHLO; the failure paths of the TLS client.
    // Any failure ends the session (QUIT while the connection stands) and passes on.
    void NegotiateStartTLS();

    // Sets the X-Mailer header from MailAgent and runs the pipelined transaction when
    // PipeLine is set and the server offers PIPELINING, else the lock-step one.
    virtual void TransmitMessage(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients);
    void TransmitPlain(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients);
    void TransmitPipelined(TIdMessage& AMsg, const String& AFrom, const TIdEMailAddressList& ARecipients);
    // RCPT TO for each address; the first refusal that OnFailedRecipient does not let
    // pass, or the refusal of every recipient, raises that reply's exception.
    void SendRecipients(const TIdEMailAddressList& ARecipients);
    // True when the server accepted the recipient (250 or 251).
    bool SendRecipient(const String& AAddress);
    // Asks OnFailedRecipient about the refused recipient of LastCmdResult; false
    // without a handler.
    bool ContinueAfterFailedRecipient(const String& AAddress);
    String MailFromCommand(const String& AFrom) const;

private:
    // The message between DATA and the final dot. When something other than the
    // server fails (an attachment that cannot be read) the session cannot be saved:
    // a final dot would deliver a truncated message and a QUIT would be taken for
    // message data, so the connection is closed without either.
    void WriteMessageData(TIdMessage& AMsg);
    // RSET after a refusal, any code accepted. Its own failure is dropped, so the
    // refusal stays the exception the caller raises.
    void ResetAfterRefusal();
    // The client name for EHLO and HELO.
    String HelloName();

    String FMailAgent;
    String FHeloName;
    bool FPipeLine = false;
    bool FUseEhlo = true;
    bool FUseVerp = false;
    String FVerpDelims;
};
