#pragma once
// TIdTCPClientCustom: the client side of a command connection. It keeps the peer's
// host and port, the time-outs and the local binding options, passes them to its
// I/O handler (making one of the registry's default class when none is attached),
// opens the connection with status reports, and tears it down in order.
// TIdTCPClient is the same class under its published name.
//
// The client's settings and the handler's agree: the setters update the current
// handler at once, and a newly attached handler receives all of them.
//
// A descendant that overrides Connect() brings the other forms back with
// `using TIdTCPClientCustom::Connect;`.

#include "net/IdIOHandlerSocket.h"
#include "net/IdStack.h"
#include "smtp/IdTCPConnection.h"

#include <cstdint>

class TIdTCPClientCustom : public TIdTCPConnection {
public:
    explicit TIdTCPClientCustom(TIdCreationKey key) : TIdTCPConnection(key) {}

    static String ClassName() { return u"TIdTCPClientCustom"; }

    // --- Properties ---------------------------------------------------------------
    const String& BoundIP() const { return FBoundIP; }
    void SetBoundIP(const String& AValue);
    TIdPort BoundPort() const { return FBoundPort; }
    void SetBoundPort(TIdPort AValue);
    TIdPort BoundPortMax() const { return FBoundPortMax; }
    void SetBoundPortMax(TIdPort AValue);
    TIdPort BoundPortMin() const { return FBoundPortMin; }
    void SetBoundPortMin(TIdPort AValue);
    std::int32_t ConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(std::int32_t AValue);
    // Host and port in one text, passed to the handler when not empty.
    const String& Destination() const { return FDestination; }
    void SetDestination(const String& AValue) { FDestination = AValue; }
    const String& Host() const { return FHost; }
    virtual void SetHost(const String& AValue);
    TIdIPVersion IPVersion() const { return FIPVersion; }
    virtual void SetIPVersion(TIdIPVersion AValue);
    const String& Password() const { return FPassword; }
    void SetPassword(const String& AValue) { FPassword = AValue; }
    TIdPort Port() const { return FPort; }
    virtual void SetPort(TIdPort AValue);
    // The handler's value when there is a handler. -1 and 0 mean no limit.
    std::int32_t ReadTimeout() const;
    void SetReadTimeout(std::int32_t AValue);
    const String& Username() const { return FUsername; }
    void SetUsername(const String& AValue) { FUsername = AValue; }
    // The socket handler's values when there is one.
    TIdReuseSocket ReuseSocket() const;
    void SetReuseSocket(TIdReuseSocket AValue);
    bool UseNagle() const;
    void SetUseNagle(bool AValue);

    // Passed to socket handlers, which fire them with themselves as sender.
    const TNotifyEvent& OnBeforeBind() const { return FOnBeforeBind; }
    void SetOnBeforeBind(const TNotifyEvent& AValue);
    const TNotifyEvent& OnAfterBind() const { return FOnAfterBind; }
    void SetOnAfterBind(const TNotifyEvent& AValue);
    const TNotifyEvent& OnSocketAllocated() const { return FOnSocketAllocated; }
    void SetOnSocketAllocated(const TNotifyEvent& AValue);

    // Fired after a successful connect.
    TNotifyEvent OnConnected;

    // Attaches the handler and gives it the client's settings.
    void SetIOHandler(TIdIOHandler* AValue) override;

    // --- Connecting ---------------------------------------------------------------
    // Opens the connection through the handler (one of the default class is made when
    // none is attached). On failure the handler is closed, a managed one freed, and
    // the client is idle again.
    virtual void Connect();
    void Connect(const String& AHost);
    void Connect(const String& AHost, TIdPort APort);
    // Connects, reads until the peer closes (the bytes stay in the handler's input
    // buffer) and disconnects.
    virtual void ConnectAndGetAll();

protected:
    void InitializeDefaults() override;

    virtual void NotifyConnected();
    // A handler of the registry's default class, owned by the client.
    virtual TIdIOHandler& MakeClientIOHandler();

private:
    // The client's settings into the current handler.
    void CopySettingsToIOHandler();

    String FBoundIP;
    TIdPort FBoundPort = 0;
    TIdPort FBoundPortMax = 0;
    TIdPort FBoundPortMin = 0;
    std::int32_t FConnectTimeout = 0;
    String FDestination;
    String FHost;
    TIdIPVersion FIPVersion = TIdIPVersion::Id_IPv4;
    String FPassword;
    TIdPort FPort = 0;
    std::int32_t FReadTimeout = -1;
    String FUsername;
    TIdReuseSocket FReuseSocket = TIdReuseSocket::rsOSDependent;
    bool FUseNagle = true;
    TNotifyEvent FOnBeforeBind;
    TNotifyEvent FOnAfterBind;
    TNotifyEvent FOnSocketAllocated;
};

class TIdTCPClient : public TIdTCPClientCustom {
public:
    explicit TIdTCPClient(TIdCreationKey key) : TIdTCPClientCustom(key) {}

    static String ClassName() { return u"TIdTCPClient"; }
};
