#pragma once
// TIdIOHandler: the buffered channel between a command connection and a transport.
//
// It turns text into bytes and back, keeps received bytes in InputBuffer until a
// whole line or the requested number of bytes is there, can collect outgoing bytes
// in a write buffer so that several commands leave in one send, enforces the
// maximum line length and the read time-out, and reports progress through the work
// events. It knows nothing of sockets or TLS: moving raw bytes and noticing a closed
// or failed transport are the abstract operations a transport handler provides
// (ReceiveFromSource, SendToTarget, HasSource, TranslateTransportError,
// RaiseTransportError, CheckForDisconnect, and usually Readable, Open and Close).
//
// Time-outs are in milliseconds: -1 stands for the handler's ReadTimeout, -2 for
// waiting without limit.
//
// A subclass that overrides one overload of Write, WriteLn or ReadLn should bring
// the others back into scope with `using TIdIOHandler::Write;` (and so on).
//
// The program reads replies line by line and writes lines and the encoded message.
// The binary reads and writes (ReadByte ... ReadInt64, Write of integers, of a
// stream or a file), ReadString(s), ReadStream, AllData, Discard, WaitFor, the
// Capture family, InputLn and CreateFromRegistry are the library's wider surface,
// defined apart in IdIOHandlerExtra.cpp.

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"
#include "mime/IdTextEncoding.h"
#include "net/IdStackErrors.h"
#include "smtp/IdBuffer.h"
#include "smtp/IdComponent.h"
#include "smtp/IdExceptionCore.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

class TStream;
class TIdConnectionIntercept;

enum class TIdMaxLineAction { maException, maSplit };

inline constexpr std::int32_t IdTimeoutDefault = -1;
inline constexpr std::int32_t IdTimeoutInfinite = -2;
inline constexpr std::int32_t IdMaxLineLengthDefault = 16384;
inline constexpr std::int32_t IdDefaultBufferSize = 32768;
// The socket layer's connection time-out code: a receive or send that ends with it
// is a time-out, not a broken connection.
inline constexpr std::int32_t IdTransportTimeoutCode = Id_WSAETIMEDOUT;

class TIdIOHandler : public TIdComponent {
public:
    explicit TIdIOHandler(TIdCreationKey key) : TIdComponent(key) {}
    ~TIdIOHandler() override;

    static String ClassName() { return u"TIdIOHandler"; }

    // --- Properties ---------------------------------------------------------------
    // Stream sizes are sent as 64-bit numbers.
    bool LargeStream() const { return FLargeStream; }
    void SetLargeStream(bool AValue) { FLargeStream = AValue; }
    // The peer closed or the transport failed; cleared only by Open.
    bool ClosedGracefully() const { return FClosedGracefully; }
    std::int32_t ConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(std::int32_t AValue) { FConnectTimeout = AValue; }
    // Host and port in one text; transport handlers give it meaning.
    virtual String Destination() const { return FDestination; }
    virtual void SetDestination(const String& AValue) { FDestination = AValue; }
    const String& Host() const { return FHost; }
    virtual void SetHost(const String& AValue) { FHost = AValue; }
    // Received bytes not yet consumed. Its removals report read progress.
    TIdBuffer& InputBuffer() { return *FInputBuffer; }
    const TIdBuffer& InputBuffer() const { return *FInputBuffer; }
    TIdConnectionIntercept* Intercept() const { return FIntercept; }
    virtual void SetIntercept(TIdConnectionIntercept* AValue);
    // Limit of the capture operations; -1: none.
    std::int32_t MaxCapturedLines() const { return FMaxCapturedLines; }
    void SetMaxCapturedLines(std::int32_t AValue) { FMaxCapturedLines = AValue; }
    TIdMaxLineAction MaxLineAction() const { return FMaxLineAction; }
    void SetMaxLineAction(TIdMaxLineAction AValue) { FMaxLineAction = AValue; }
    std::int32_t MaxLineLength() const { return FMaxLineLength; }
    void SetMaxLineLength(std::int32_t AValue) { FMaxLineLength = AValue; }
    // Between Open and Close.
    bool Opened() const { return FOpened; }
    std::int32_t Port() const { return FPort; }
    virtual void SetPort(std::int32_t AValue) { FPort = AValue; }
    // What the most recent ReadLn did: returned part of an over-long line / timed out.
    bool ReadLnSplit() const { return FReadLnSplit; }
    bool ReadLnTimedout() const { return FReadLnTimedout; }
    // Wait limit for received data; -1 and 0 mean no limit.
    std::int32_t ReadTimeout() const { return FReadTimeout; }
    void SetReadTimeout(std::int32_t AValue) { FReadTimeout = AValue; }
    // While set (a TickCount value), no receive waits beyond it, whatever its own
    // time-out, and one that it cuts short is a time-out. The read time-out bounds
    // each receive only, so a peer that sends a byte now and then would hold the
    // reader for ever; a deadline bounds a whole exchange (one server reply).
    const std::optional<std::uint32_t>& ReadDeadline() const { return FReadDeadline; }
    void SetReadDeadline(std::optional<std::uint32_t> ATick) { FReadDeadline = ATick; }
    // Bytes asked from the transport per receive / per chunk of a written stream.
    std::int32_t RecvBufferSize() const { return FRecvBufferSize; }
    void SetRecvBufferSize(std::int32_t AValue) { FRecvBufferSize = AValue; }
    std::int32_t SendBufferSize() const { return FSendBufferSize; }
    void SetSendBufferSize(std::int32_t AValue) { FSendBufferSize = AValue; }
    // Buffered bytes that trigger a partial flush; 0 or less: none.
    std::int32_t WriteBufferThreshold() const { return FWriteBufferThreshold; }
    // Encoding of text when a call passes none. Setting none stores the library's
    // default encoding.
    const IIdTextEncodingPtr& DefStringEncoding() const { return FDefStringEncoding; }
    void SetDefStringEncoding(const IIdTextEncodingPtr& AValue);

    // --- Transport-independent operations (virtual) -------------------------------
    // Engine of the Capture overloads: reads lines up to the delimiter line; with
    // dot transparency a leading ".." loses one ".". Returns the number of lines.
    virtual std::int32_t CaptureLines(TStrings& ADest, const String& ADelim = u".",
                                      bool AUsesDotTransparency = true,
                                      const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // Server side: called after a connection was accepted. Nothing here.
    virtual void AfterAccept() {}
    // Open and the peer present, or bytes still buffered.
    virtual bool Connected();
    // Notices a lost connection. When it is lost and ARaiseExceptionIfDisconnected,
    // raises EIdConnClosedGracefully (RaiseConnectionClosed) if AIgnoreBuffer or the
    // input buffer is empty.
    virtual void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false) = 0;
    // Whether bytes arrived (within ATimeout ms).
    virtual bool CheckForDataOnSource(std::int32_t ATimeout = 0);
    virtual void Close();
    virtual void CloseGracefully() { FClosedGracefully = true; }
    // ALength bytes from AOffset (a negative length: to the end of the array).
    virtual void Write(const TIdBytes& ABuffer, std::int32_t ALength = -1, std::int32_t AOffset = 0);
    virtual void Open();
    // Whether bytes can be read within AMSec ms (-2: no limit). False here.
    virtual bool Readable(std::int32_t AMSec = IdTimeoutDefault);
    virtual void Write(const String& AOut, const IIdTextEncodingPtr& AByteEncoding = nullptr);
    virtual void WriteLn(const String& AOut, const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // A line that begins with "." gets one more in front (dot-stuffing, RFC 5321 4.5.2).
    virtual void WriteLnRFC(const String& AOut = String(), const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // Every line with WriteLn, inside one write-buffered block; with AWriteLinesCount
    // the number of lines goes first, as a 32-bit integer in network order.
    virtual void Write(const TStrings& AValue, bool AWriteLinesCount = false,
                       const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // ASize < 0: from the position to the end; 0: the whole stream from its start;
    // > 0: that many bytes from the position. With AWriteByteCount the size goes
    // first (64-bit with LargeStream, else 32-bit).
    virtual void Write(TStream& AStream, std::int64_t ASize = 0, bool AWriteByteCount = false);
    // The whole file; returns its size. A missing file raises EIdFileNotFound.
    virtual std::int64_t WriteFile(const String& AFile, bool AEnableTransferFile = false);
    // Everything until the peer closes.
    virtual String AllData(const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // An interactively typed line: backspace and delete edit it, a tab becomes
    // ATabWidth blanks, and with AEcho each character (or AMask) is sent back.
    virtual String InputLn(const String& AMask = String(), bool AEcho = true, std::int32_t ATabWidth = 8,
                           std::int32_t AMaxLineLength = -1, const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // AByteCount bytes into the stream; -1 reads the size first (as Write(stream)
    // writes it); AReadUntilDisconnect reads until the peer closes.
    virtual void ReadStream(TStream& AStream, std::int64_t AByteCount = -1, bool AReadUntilDisconnect = false);
    // AByteCount > 0: exactly that many bytes; < 0: what one receive brings.
    virtual void ReadBytes(TIdBytes& VBuffer, std::int32_t AByteCount, bool AAppend = true);
    // A line ended by ATerminator (empty: LF; with LF a CR before it is dropped too).
    // Returns "" with ReadLnTimedout set when ATimeout (-1: ReadTimeout) passes.
    virtual String ReadLn(const String& ATerminator, std::int32_t ATimeout, std::int32_t AMaxLineLength = -1,
                          const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // The first line that is not blank, stripped at both ends, trying at most
    // AFailCount lines.
    virtual String ReadLnWait(std::int32_t AFailCount = std::numeric_limits<std::int32_t>::max(),
                              const IIdTextEncodingPtr& AByteEncoding = nullptr);
    virtual void WriteBufferCancel();
    virtual void WriteBufferClear();
    virtual void WriteBufferClose();
    virtual void WriteBufferFlush(std::int32_t AByteCount);
    virtual void WriteBufferOpen(std::int32_t AThreshold);

    // --- Conveniences -------------------------------------------------------------
    String ReadLn(const IIdTextEncodingPtr& AByteEncoding = nullptr);
    String ReadLn(const String& ATerminator, const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // A line of the dot-terminated framing: the line ADelim sets VMsgEnd; otherwise
    // a leading ".." loses one ".".
    String ReadLnRFC(bool& VMsgEnd, const String& ALineTerminator = String(1, LF), const String& ADelim = u".",
                     const IIdTextEncodingPtr& AByteEncoding = nullptr);
    void WriteLn(const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // Every line dot-stuffed; with AWriteTerminator the closing line ".".
    void WriteRFCStrings(const TStrings& AStrings, bool AWriteTerminator = true,
                         const IIdTextEncodingPtr& AByteEncoding = nullptr);
    void WriteBufferOpen() { WriteBufferOpen(-1); }
    void WriteBufferFlush() { WriteBufferFlush(-1); }
    bool WriteBufferingActive() const { return FWriteBuffer != nullptr; }
    // Sends the bytes now, past the write buffer.
    void WriteDirect(const TIdBytes& ABuffer, std::int32_t ALength = -1, std::int32_t AOffset = 0);

    bool InputBufferIsEmpty() const { return FInputBuffer->Size() == 0; }
    // Takes everything buffered.
    String InputBufferAsString(const IIdTextEncodingPtr& AByteEncoding = nullptr);
    void InputBufferToStream(TStream& AStream, std::int32_t AByteCount = -1);

    String ReadString(std::int32_t ABytes, const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // AReadLinesCount lines; -1 reads the count first (as Write(strings, true) writes it).
    void ReadStrings(TStrings& AValue, std::int32_t AReadLinesCount = -1,
                     const IIdTextEncodingPtr& AByteEncoding = nullptr);
    char16_t ReadChar(const IIdTextEncodingPtr& AByteEncoding = nullptr);
    std::uint8_t ReadByte();
    // Integers; with AConvert they travel in network byte order (big-endian).
    std::uint16_t ReadWord(bool AConvert = true);
    std::int16_t ReadSmallInt(bool AConvert = true);
    std::uint32_t ReadLongWord(bool AConvert = true);
    std::int32_t ReadLongInt(bool AConvert = true);
    std::int64_t ReadInt64(bool AConvert = true);
    void Write(std::uint16_t AValue, bool AConvert = true);
    void Write(std::int16_t AValue, bool AConvert = true);
    void Write(std::uint32_t AValue, bool AConvert = true);
    void Write(std::int32_t AValue, bool AConvert = true);
    void Write(std::int64_t AValue, bool AConvert = true);
    // A character is text: write it as a String, not as an integer.
    void Write(char16_t, bool = true) = delete;
    void Write(char, bool = true) = delete;

    // Reads and drops AByteCount bytes / everything until the peer closes.
    void Discard(std::int64_t AByteCount);
    void DiscardAll();
    // Reads until AString arrives; returns the text before it (and AString itself
    // when AInclusive). With ARemoveFromBuffer the text and AString are consumed.
    String WaitFor(const String& AString, bool ARemoveFromBuffer = true, bool AInclusive = false,
                   const IIdTextEncodingPtr& AByteEncoding = nullptr, std::int32_t ATimeout = IdTimeoutDefault);
    std::int32_t Capture(TStrings& ADest, const String& ADelim = u".", bool AUsesDotTransparency = true,
                         const IIdTextEncodingPtr& AByteEncoding = nullptr);
    // The captured lines, each followed by CR LF.
    std::int32_t Capture(TStream& ADest, const String& ADelim = u".", bool AUsesDotTransparency = true,
                         const IIdTextEncodingPtr& AByteEncoding = nullptr);

    // Receives into InputBuffer. Returns the number of bytes added, 0 when the
    // transport is gone or closed, -1 on a time-out that is not raised.
    std::int32_t FillInputBuffer(bool ARaiseExceptionIfDisconnected = true, std::int32_t ATimeout = IdTimeoutDefault,
                                 bool ARaiseExceptionOnTimeout = true);
    // Raises EIdConnClosedGracefully "Connection Closed Gracefully.".
    [[noreturn]] static void RaiseConnectionClosed();

    // --- Class registry -------------------------------------------------------------
    // Handler classes are registered at program start; a connection without a
    // handler creates one of the default class.
    template <class T>
    static void RegisterIOHandler();
    template <class T>
    static void SetDefaultClass();
    static std::unique_ptr<TIdIOHandler> MakeDefaultIOHandler();
    static TIdIOHandler& MakeDefaultIOHandler(TComponent& AOwner);
    // An instance of the most recently registered class that descends from TBase;
    // raises EIdException "No IOHandler of type %s is installed." when none does.
    template <class TBase = TIdIOHandler>
    static std::unique_ptr<TBase> MakeIOHandler();
    template <class TBase = TIdIOHandler>
    static TBase& MakeIOHandler(TComponent& AOwner);

protected:
    void InitializeDefaults() override;
    void Notification(TComponent* AComponent, TOperation AOperation) override;

    // --- The transport -------------------------------------------------------------
    // Reads up to VBuffer.size() bytes into VBuffer: the count, 0 when the peer
    // closed, negative on failure.
    virtual std::int32_t ReceiveFromSource(TIdBytes& VBuffer) = 0;
    // Sends ALength bytes from AOffset: the count accepted (1..ALength), 0 when the
    // peer closed, negative on failure.
    virtual std::int32_t SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) = 0;
    // Whether a transport endpoint exists.
    virtual bool HasSource() const = 0;
    // The operating system's error code behind a negative result.
    virtual std::int32_t TranslateTransportError(std::int32_t AResult) = 0;
    // Raises the transport's exception for an error code; must not return.
    virtual void RaiseTransportError(std::int32_t AError) = 0;

private:
    struct TIdIOHandlerClassRef {
        String ClassName;
        const void* Id; // one per class, to find a class registered again
        std::unique_ptr<TIdIOHandler> (*Create)();
        // Throws a null pointer of the class; catching it as `TBase*` succeeds exactly
        // when the class descends from TBase (C++ matches a handler for a pointer to
        // a base class against a thrown pointer to a derived class).
        void (*ThrowClassPointer)();
    };
    template <class T>
    static TIdIOHandlerClassRef ClassRefOf();
    static std::vector<TIdIOHandlerClassRef>& RegisteredClasses();
    static std::optional<TIdIOHandlerClassRef>& DefaultClassRef();
    static void AddToRegistry(const TIdIOHandlerClassRef& AClass);
    static void SetDefaultClassRef(const TIdIOHandlerClassRef& AClass);
    template <class TBase>
    static std::unique_ptr<TIdIOHandler> MakeDescendantOf();
    static std::unique_ptr<TIdIOHandler> CreateFromRegistry(bool (*AMatches)(const TIdIOHandlerClassRef&));

    // Throws when a transport's RaiseTransportError came back.
    [[noreturn]] void RaiseTransportErrorNoReturn(std::int32_t AError);
    // The read loops call this after a receive that added nothing: it raises when
    // nothing more can arrive, so a loop cannot spin for ever on a transport whose
    // CheckForDisconnect did not raise.
    void CheckCanReceiveMore();
    // Receives until InputBuffer holds at least AByteCount bytes.
    void EnsureInputBytes(std::int32_t AByteCount);
    // Hands InputBuffer to AConsume after every receive until the peer closes.
    void ReadUntilDisconnect(const std::function<void()>& AConsume);
    IIdTextEncodingPtr TextEncoding(const IIdTextEncodingPtr& AByteEncoding) const;
    void WriteIntegerBytes(std::uint64_t AValue, int ASize, bool AConvert);
    std::uint64_t ReadIntegerBytes(int ASize, bool AConvert);

    bool FLargeStream = false;
    bool FClosedGracefully = false;
    std::int32_t FConnectTimeout = 0;
    String FDestination;
    String FHost;
    std::unique_ptr<TIdBuffer> FInputBuffer;
    TIdConnectionIntercept* FIntercept = nullptr;
    std::int32_t FMaxCapturedLines = 0;
    TIdMaxLineAction FMaxLineAction = TIdMaxLineAction::maException;
    std::int32_t FMaxLineLength = 0;
    bool FOpened = false;
    std::int32_t FPort = 0;
    bool FReadLnSplit = false;
    bool FReadLnTimedout = false;
    std::int32_t FReadTimeout = 0;
    std::optional<std::uint32_t> FReadDeadline;
    std::int32_t FRecvBufferSize = 0;
    std::int32_t FSendBufferSize = 0;
    std::unique_ptr<TIdBuffer> FWriteBuffer;
    std::int32_t FWriteBufferThreshold = 0;
    IIdTextEncodingPtr FDefStringEncoding;
    // Reused by WriteBufferFlush, so buffered writes allocate nothing per flush.
    TIdBytes FFlushChunk;
};

// --- Registry templates --------------------------------------------------------------

template <class T>
TIdIOHandler::TIdIOHandlerClassRef TIdIOHandler::ClassRefOf()
{
    static const char id = 0;
    return TIdIOHandlerClassRef{
        T::ClassName(),
        &id,
        []() -> std::unique_ptr<TIdIOHandler> { return MakeComponent<T>(); },
        []() { throw static_cast<T*>(nullptr); },
    };
}

template <class T>
void TIdIOHandler::RegisterIOHandler()
{
    AddToRegistry(ClassRefOf<T>());
}

template <class T>
void TIdIOHandler::SetDefaultClass()
{
    SetDefaultClassRef(ClassRefOf<T>());
}

template <class TBase>
std::unique_ptr<TIdIOHandler> TIdIOHandler::MakeDescendantOf()
{
    std::unique_ptr<TIdIOHandler> handler = CreateFromRegistry([](const TIdIOHandlerClassRef& c) {
        try {
            c.ThrowClassPointer();
        } catch (TBase*) {
            return true;
        } catch (...) {
            // Any other pointer type: the class does not descend from TBase.
        }
        return false;
    });
    if (!handler)
        EIdException::Toss(Format(u"No IOHandler of type %s is installed.", {TBase::ClassName()}));
    return handler;
}

template <class TBase>
std::unique_ptr<TBase> TIdIOHandler::MakeIOHandler()
{
    std::unique_ptr<TIdIOHandler> handler = MakeDescendantOf<TBase>();
    return std::unique_ptr<TBase>(static_cast<TBase*>(handler.release()));
}

template <class TBase>
TBase& TIdIOHandler::MakeIOHandler(TComponent& AOwner)
{
    std::unique_ptr<TBase> handler = MakeIOHandler<TBase>();
    TBase& ref = *handler;
    AOwner.InsertComponent(std::move(handler));
    return ref;
}
