#pragma once
// TIdSocketHandle: one socket with its local and peer address, over the shared socket
// stack. A socket I/O handler owns one and reuses it for every connection it opens
// (Reset between them); it may also live in a collection of bindings.
//
// Two threads may use a binding at once: a bounded connect runs Connect on a worker
// thread while the caller may close the socket. FConnectionHandle makes the close and
// the address update after the connect exclusive, so the update never reads a socket
// that is being closed.

#include "mime/IdCollection.h"
#include "mime/IdGlobal.h"
#include "net/IdSocketList.h"
#include "net/IdStack.h"

#include <cstdint>
#include <memory>
#include <mutex>

enum class TIdReuseSocket { rsOSDependent = 0, rsTrue = 1, rsFalse = 2 };

class TIdSocketHandle : public TCollectionItem {
public:
    explicit TIdSocketHandle(TCollection* ACollection = nullptr);
    // Closes the socket.
    ~TIdSocketHandle() override;

    // Copies the settings and addresses of another binding (not its socket).
    virtual void Assign(const TIdSocketHandle& ASource);

    // --- Socket lifetime --------------------------------------------------------------
    // Closes any socket it has, then creates one of IPVersion and takes it over.
    void AllocateSocket(int ASocketType = Id_SOCK_STREAM, int AProtocol = 0);
    // Takes over a socket: it joins the read list, and SocketType and UseNagle are
    // read from it. Id_INVALID_SOCKET leaves the binding without a socket (the old
    // one is not closed).
    void SetHandle(TIdStackSocketHandle AHandle);
    // Stops sending and closes the socket, under FConnectionHandle.
    virtual void CloseSocket();
    // Forgets the socket (closed beforehand) and the peer; with AResetLocal also the
    // local address and port.
    void Reset(bool AResetLocal = true);

    // --- Addresses and connecting -----------------------------------------------------
    // Binds to IP and Port, or, when Port is 0 and both ClientPortMin and ClientPortMax
    // are set, to the highest free port of that range.
    void Bind();
    // Connects to PeerIP:PeerPort and, unless the socket was closed meanwhile, reads
    // back both ends' addresses. Blocks until the system reports the outcome.
    virtual void Connect();
    // Ends a connect that another thread is blocked in, without closing the socket:
    // the descriptor stays reserved for that thread until it has returned.
    void AbortConnect();
    void SetPeer(const String& AIP, TIdPort APort, TIdIPVersion AIPVersion = TIdIPVersion::Id_IPv4);
    void UpdateBindingLocal();
    void UpdateBindingPeer();

    // --- Data -------------------------------------------------------------------------
    // Whether data (or the peer's close) is waiting, within AMSec ms; -1 waits as long
    // as it takes. Without a socket: EIdConnClosedGracefully.
    bool Readable(std::int32_t AMSec = -1);
    // One wait on the read list, then the anti-freeze's turn.
    bool Select(std::int32_t ATimeout);
    // One receive of up to VBuffer.size() bytes; 0 when the peer closed.
    std::int32_t Receive(TIdBytes& VBuffer);
    // One send of ASize bytes from AOffset; returns what the system accepted.
    std::int32_t Send(const TIdBytes& ABuffer, std::int32_t AOffset, std::int32_t ASize);

    void GetSockOpt(int ALevel, int AOptName, std::int32_t& AOptVal);
    void SetSockOpt(int ALevel, int AOptName, std::int32_t AOptVal);

    // --- Properties -------------------------------------------------------------------
    TIdStackSocketHandle Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandleAllocated; }
    const String& PeerIP() const { return FPeerIP; }
    TIdPort PeerPort() const { return FPeerPort; }
    // The system's socket type (Id_SOCK_STREAM ...), 0 without a socket.
    std::int32_t SocketType() const { return FSocketType; }
    bool OverLapped() const { return FOverLapped; }
    void SetOverLapped(bool AValue) { FOverLapped = AValue; }

    const String& IP() const { return FIP; }
    void SetIP(const String& AValue) { FIP = AValue; }
    TIdPort Port() const { return FPort; }
    void SetPort(TIdPort AValue) { FPort = AValue; }
    TIdPort ClientPortMin() const { return FClientPortMin; }
    void SetClientPortMin(TIdPort AValue) { FClientPortMin = AValue; }
    TIdPort ClientPortMax() const { return FClientPortMax; }
    void SetClientPortMax(TIdPort AValue) { FClientPortMax = AValue; }
    TIdIPVersion IPVersion() const { return FIPVersion; }
    // A socket is made for one address family: changing it while a socket exists
    // raises EIdCannotSetIPVersionWhenConnected.
    void SetIPVersion(TIdIPVersion AValue);
    TIdReuseSocket ReuseSocket() const { return FReuseSocket; }
    void SetReuseSocket(TIdReuseSocket AValue) { FReuseSocket = AValue; }
    bool UseNagle() const { return FUseNagle; }
    // Changes the socket's TCP_NODELAY only when the value differs from the current one.
    void SetUseNagle(bool AValue);
    bool BroadcastEnabled() const { return FBroadcastEnabled; }
    void SetBroadcastEnabled(bool AValue) { FBroadcastEnabled = AValue; }

private:
    // Binds to one port and reads the local address back; false when either fails.
    bool TryBind(TIdPort APort);

    TIdPort FClientPortMin = 0;
    TIdPort FClientPortMax = 0;
    TIdStackSocketHandle FHandle = Id_INVALID_SOCKET;
    bool FHandleAllocated = false;
    String FIP;
    String FPeerIP;
    TIdPort FPort = 0;
    TIdPort FPeerPort = 0;
    std::unique_ptr<TIdSocketList> FReadSocketList;
    std::int32_t FSocketType = 0;
    bool FOverLapped = false;
    TIdIPVersion FIPVersion = TIdIPVersion::Id_IPv4;
    std::mutex FConnectionHandle;
    bool FBroadcastEnabled = false;
    bool FUseNagle = true;
    TIdReuseSocket FReuseSocket = TIdReuseSocket::rsOSDependent;
};
