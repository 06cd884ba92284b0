#pragma once
// TIdTCPConnection: a line-oriented command channel over an I/O handler. It writes a
// command line, reads the server's possibly multi-line reply into LastCmdResult and
// turns a code the caller did not accept into the reply's exception, after the
// whole reply has been read, so the connection stays in step with the server.
//
// The handler is either attached from outside (the connection only watches it and
// forgets it when it is destroyed) or made by the connection itself (managed: the
// connection frees it). Protocol clients derive from TIdTCPClientCustom
// (smtp/IdTCPClient.h) and override DefaultReplyClass, PrepareCommand and
// DisconnectNotifyPeer.

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"
#include "mime/IdTextEncoding.h"
#include "smtp/IdComponent.h"
#include "smtp/IdExceptionCore.h"
#include "smtp/IdIOHandler.h"
#include "smtp/IdReply.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

class TIdConnectionIntercept;
class TIdIOHandlerSocket;

// Bounds of one reply, far beyond what servers send (an EHLO list has a few dozen
// lines, a help text a few hundred), so that a server that never ends its reply can
// neither fill memory nor hold the client for ever. The time limit is RFC 5321's
// wait for most replies (4.5.3.2); the reply to the final dot may take longer there,
// but a server silent for a whole read time-out has been given up on before that.
inline constexpr std::int32_t IdReplyMaxLinesDefault = 512;
inline constexpr std::int32_t IdReplyMaxSizeDefault = 64 * 1024;
inline constexpr std::int32_t IdReplyTimeLimitDefault = 5 * 60 * 1000;

class TIdTCPConnection : public TIdComponent {
public:
    explicit TIdTCPConnection(TIdCreationKey key) : TIdComponent(key) {}
    // Closes and detaches the handler (a managed one is freed).
    ~TIdTCPConnection() override;

    // --- Properties ---------------------------------------------------------------
    // A reply record for a server's greeting; writing copies the given reply.
    TIdReply& Greeting() { return *FGreeting; }
    void SetGreeting(const TIdReply& AValue) { FGreeting->Assign(AValue); }
    // The most recent reply read; kept after a disconnect.
    TIdReply& LastCmdResult() { return *FLastCmdResult; }
    const TIdReply& LastCmdResult() const { return *FLastCmdResult; }
    TIdIOHandler* IOHandler() const { return FIOHandler; }
    // Attaches a handler (none detaches): the connection watches it, receives its
    // progress events and hands it the connection's intercept.
    virtual void SetIOHandler(TIdIOHandler* AValue);
    // The connection frees the handler when it lets it go. Only a handler that a
    // component owns can be freed (through that owner); the connection owns the
    // handlers it makes itself.
    bool ManagedIOHandler() const { return FManagedIOHandler; }
    void SetManagedIOHandler(bool AValue) { FManagedIOHandler = AValue; }
    // The handler when it is a socket handler, else none.
    TIdIOHandlerSocket* Socket() const { return FSocket; }
    // The handler's intercept when there is a handler, else the stored one.
    virtual TIdConnectionIntercept* Intercept() const;
    virtual void SetIntercept(TIdConnectionIntercept* AValue);

    // Fired when a disconnect closed an open handler.
    TNotifyEvent OnDisconnected;

    // Bounds of one reply: its lines, its size (the text of its lines with their line
    // ends; blank lines are dropped as they come) and the time it may take in all, in
    // milliseconds, each receive waiting at most the read time-out or what is left.
    // Passing one raises EIdReplyTooLong or EIdReplyTimeout. 0 or less: no bound.
    std::int32_t ReplyMaxLines() const { return FReplyMaxLines; }
    void SetReplyMaxLines(std::int32_t AValue) { FReplyMaxLines = AValue; }
    std::int32_t ReplyMaxSize() const { return FReplyMaxSize; }
    void SetReplyMaxSize(std::int32_t AValue) { FReplyMaxSize = AValue; }
    std::int32_t ReplyTimeLimit() const { return FReplyTimeLimit; }
    void SetReplyTimeLimit(std::int32_t AValue) { FReplyTimeLimit = AValue; }

    // --- Commands and replies -----------------------------------------------------
    // Sends the line and reads the reply; returns its code. A code not in AResponse
    // (an empty list accepts every code) raises the reply's exception.
    virtual std::int16_t SendCmd(const String& AOut, const std::vector<std::int16_t>& AResponse,
                                 const IIdTextEncodingPtr& AEncoding = nullptr);
    // One accepted code; a negative code accepts any.
    std::int16_t SendCmd(const String& AOut, std::int16_t AResponse = -1, const IIdTextEncodingPtr& AEncoding = nullptr);
    // The code as text, compared without regard to case; an empty text accepts any.
    // (A text view, so that a braced list of codes is never read as text.)
    String SendCmd(const String& AOut, StringView AResponse, const IIdTextEncodingPtr& AEncoding = nullptr);

    virtual std::int16_t GetResponse(const std::vector<std::int16_t>& AAllowedResponses,
                                     const IIdTextEncodingPtr& AEncoding = nullptr);
    std::int16_t GetResponse(std::int16_t AAllowedResponse = -1, const IIdTextEncodingPtr& AEncoding = nullptr);
    virtual String GetResponse(StringView AAllowedResponse, const IIdTextEncodingPtr& AEncoding = nullptr);
    // Reads the lines of one reply into LastCmdResult; blank lines are skipped. The
    // reply bounds above apply.
    virtual void GetInternalResponse(const IIdTextEncodingPtr& AEncoding = nullptr);

    // AResponse when AAllowedResponses is empty or holds it; otherwise raises the
    // exception of LastCmdResult.
    virtual std::int16_t CheckResponse(std::int16_t AResponse, const std::vector<std::int16_t>& AAllowedResponses);
    virtual String CheckResponse(const String& AResponse, StringView AAllowedResponse);
    [[noreturn]] virtual void RaiseExceptionForLastCmdResult();
    // What RaiseExceptionForLastCmdResult raises for the current reply, caught and
    // kept: for a refusal that is reported only after more replies have been read.
    std::exception_ptr LastCmdResultError();
    // Raises E with the reply's text lines, each followed by CR LF, as message.
    template <class E>
    [[noreturn]] void RaiseExceptionForLastCmdResult()
    {
        throw E(FLastCmdResult->Text().Text());
    }

    // Every line with its first "=" replaced by ": ", then an empty line, in one
    // write-buffered block.
    void WriteHeader(const TStrings& AHeader);
    // The lines dot-stuffed, then the line ".".
    void WriteRFCStrings(const TStrings& AStrings);

    // --- Connection state -----------------------------------------------------------
    // The handler's Connected; false without a handler.
    virtual bool Connected();
    // Asks the handler whether the peer has gone; without a handler raises
    // "Not Connected" when ARaiseExceptionIfDisconnected.
    virtual void CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected = true);
    // With ANotifyPeer and a live connection, says goodbye (DisconnectNotifyPeer);
    // then, in any case, closes an open handler with status reports. A second call
    // finds the handler closed and does nothing.
    virtual void Disconnect(bool ANotifyPeer);
    void Disconnect() { Disconnect(true); }

    // Makes the connection own a new handler of the most recently registered class
    // descending from TBase. Refused while connected.
    template <class TBase = TIdIOHandler>
    void CreateIOHandler()
    {
        CheckCanChangeIOHandler();
        TBase& handler = TIdIOHandler::MakeIOHandler<TBase>(*this);
        AttachManagedIOHandler(handler);
    }

protected:
    void InitializeDefaults() override;
    void Notification(TComponent* AComponent, TOperation AOperation) override;

    virtual void NotifyDisconnected();
    // The class of Greeting and LastCmdResult.
    virtual TIdReplyClass DefaultReplyClass() const;
    // May rewrite a command line before it is sent. Nothing here.
    virtual void PrepareCommand(String& AOut);
    // The goodbye to the peer before the handler is closed. Nothing here.
    virtual void DisconnectNotifyPeer();

    // Raises "Not Connected" without a handler.
    TIdIOHandler& RequireIOHandler();
    // Attaches a handler the connection has made and owns.
    void AttachManagedIOHandler(TIdIOHandler& AHandler);
    // Raises "Cannot change a connected IOHandler." while connected.
    void CheckCanChangeIOHandler();
    // Disconnect on the way out of a failure: whatever the disconnect raises is
    // dropped, so the failure that led here stays the one reported.
    void DisconnectAfterFailure(bool ANotifyPeer) noexcept;
    // PrepareCommand, then the line with CR LF, without reading a reply (pipelined
    // commands are written this way). Every command goes through here. A line that
    // holds a CR or LF, always taken from data (an address, a host or user name),
    // would end the command early and smuggle in another: it raises EIdException
    // and nothing of it is written.
    void WriteCommand(const String& AOut, const IIdTextEncodingPtr& AEncoding = nullptr);

private:
    // Detaches the current handler, freeing it when it is managed.
    void ReleaseIOHandler();
    // Closes an open handler with the status reports around it.
    void CloseOpenHandler();

    std::unique_ptr<TIdReply> FGreeting;
    TIdConnectionIntercept* FIntercept = nullptr;
    TIdIOHandler* FIOHandler = nullptr;
    std::unique_ptr<TIdReply> FLastCmdResult;
    bool FManagedIOHandler = false;
    TIdIOHandlerSocket* FSocket = nullptr;
    TIdReplyClass FReplyClass = nullptr;
    std::int32_t FReplyMaxLines = IdReplyMaxLinesDefault;
    std::int32_t FReplyMaxSize = IdReplyMaxSizeDefault;
    std::int32_t FReplyTimeLimit = IdReplyTimeLimitDefault;
};
