#pragma once
// TIdIOHandlerStack: the socket I/O handler on the shared socket stack, and the
// library's default I/O handler class (a client without a handler makes one). It
// resolves the host, connects (bounded in time by TIdConnectThread when
// ConnectTimeout is set) and moves the bytes of the buffered base class through the
// binding's socket. The TLS handler derives from it.
//
// Transport failures follow the base class's rule: a receive or send that fails
// closes the handler before the socket error is raised, and a connection reset or
// shut down while bytes are still buffered is reported only once they are read.

#include "net/IdIOHandlerSocket.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class TIdIOHandlerStack : public TIdIOHandlerSocket {
public:
    explicit TIdIOHandlerStack(TIdCreationKey key) : TIdIOHandlerSocket(key) {}

    static String ClassName() { return u"TIdIOHandlerStack"; }

    // True once the class is the registered default. The registration runs while the
    // program starts; referring to this function keeps the registering unit in
    // programs linked from the static library.
    static bool DefaultClassRegistered();

    bool Readable(std::int32_t AMSec = IdTimeoutDefault) override;
    // Takes in what is waiting, without waiting, so that the peer's close is noticed;
    // bytes still buffered keep the connection alive until they are read.
    bool Connected() override;
    // A peer's close closes the handler (status hsDisconnected); a lost connection
    // raises "Connection Closed Gracefully." when asked to and nothing is buffered
    // (or AIgnoreBuffer).
    void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false) override;
    // 0 for a missing file; otherwise the base class's whole-file write (there is no
    // file-transmission shortcut past the handler here).
    std::int64_t WriteFile(const String& AFile, bool AEnableTransferFile = false) override;

protected:
    // After the socket handler's part: resolve, report, connect.
    void EstablishConnection() override;
    // The connect on a worker thread, polled every 125 ms (-1: without limit). When
    // time runs out the connect is aborted, the handler closed and EIdConnectTimeout
    // raised.
    void ConnectWithTimeout(std::int32_t ATimeout);

    // A failed receive or send returns -1 and leaves its code as the stack's last
    // error, so the base class can close the handler before the error is raised.
    std::int32_t ReceiveFromSource(TIdBytes& VBuffer) override;
    std::int32_t SendToTarget(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ALength) override;
    // The last socket error behind -1 when it means the connection is gone or timed
    // out (10058, 10053, 10054, 10060); any other error is raised here.
    std::int32_t TranslateTransportError(std::int32_t ALastResult) override;
    void RaiseTransportError(std::int32_t AError) override;
};

// The worker of a bounded connect: it runs the binding's Connect as soon as it is
// made and records how that ended. The object never outlives its thread: the
// destructor aborts a connect still under way and waits for the thread.
class TIdConnectThread {
public:
    explicit TIdConnectThread(TIdSocketHandle& ABinding);
    ~TIdConnectThread();
    TIdConnectThread(const TIdConnectThread&) = delete;
    TIdConnectThread& operator=(const TIdConnectThread&) = delete;

    // Waits up to AMSec ms (-2: without limit) for the connect to end; true when it has.
    bool WaitFor(std::int32_t AMSec);
    bool Terminated();
    // Aborts a connect still under way and waits for the thread.
    void Terminate();

    // Valid once Terminated: what the connect raised, if anything. LastSocketError is
    // the code of a socket error other than "bad handle" / "not a socket" (which
    // mean the socket was closed under the connect), else 0.
    bool ExceptionOccured() const { return FExceptionOccured; }
    const String& ExceptionMessage() const { return FExceptionMessage; }
    std::int32_t LastSocketError() const { return FLastSocketError; }

private:
    void Execute();

    TIdSocketHandle* FBinding;
    std::int32_t FLastSocketError = 0;
    String FExceptionMessage;
    bool FExceptionOccured = false;
    std::mutex FLock;
    std::condition_variable FEnded;
    bool FTerminated = false;
    // Last: the thread starts once everything it uses is built.
    std::thread FThread;
};
