#pragma once
// TIdIOHandlerSocket: the buffered I/O handler on one TCP socket. It owns the binding
// (net/IdSocketHandle.h) and the settings for binding it, and opens the connection in
// EstablishConnection up to the local bind, with the bind events. Resolving,
// connecting and moving bytes are the concrete handler's part (TIdIOHandlerStack,
// net/IdIOHandlerStack.h).
//
// A handler can be opened without a socket (empty Host or Port 0); it then has no
// source and reads find the connection closed.

#include "net/IdSocketHandle.h"
#include "net/IdStack.h"
#include "smtp/IdIOHandler.h"

#include <cstdint>
#include <memory>

class TIdIOHandlerSocket : public TIdIOHandler {
public:
    explicit TIdIOHandlerSocket(TIdCreationKey key) : TIdIOHandler(key) {}
    ~TIdIOHandlerSocket() override;

    static String ClassName() { return u"TIdIOHandlerSocket"; }

    // --- Properties ---------------------------------------------------------------
    // Created by the first Open and reused, fully reset, by every later one.
    TIdSocketHandle* Binding() const { return FBinding.get(); }
    const String& BoundIP() const { return FBoundIP; }
    void SetBoundIP(const String& AValue) { FBoundIP = AValue; }
    TIdPort BoundPort() const { return FBoundPort; }
    void SetBoundPort(TIdPort AValue) { FBoundPort = AValue; }
    TIdPort BoundPortMax() const { return FBoundPortMax; }
    void SetBoundPortMax(TIdPort AValue) { FBoundPortMax = AValue; }
    TIdPort BoundPortMin() const { return FBoundPortMin; }
    void SetBoundPortMin(TIdPort AValue) { FBoundPortMin = AValue; }
    // The port that Destination leaves out.
    TIdPort DefaultPort() const { return FDefaultPort; }
    void SetDefaultPort(TIdPort AValue) { FDefaultPort = AValue; }
    TIdIPVersion IPVersion() const { return FIPVersion; }
    void SetIPVersion(TIdIPVersion AValue) { FIPVersion = AValue; }
    // Read from the binding when there is one; writing passes the value on to it.
    TIdReuseSocket ReuseSocket() const;
    void SetReuseSocket(TIdReuseSocket AValue);
    bool UseNagle() const;
    void SetUseNagle(bool AValue);

    // Fired during the connect with the handler as sender: before the socket is made,
    // right after, and after the local bind.
    TNotifyEvent OnBeforeBind;
    TNotifyEvent OnAfterBind;
    TNotifyEvent OnSocketAllocated;

    // Host, and ":" Port when Port is set and is not DefaultPort. Writing splits at
    // the last ":"; a port that is not a number becomes DefaultPort.
    String Destination() const override;
    void SetDestination(const String& AValue) override;

    // --- Opening and closing ---------------------------------------------------
    // Opens the handler; with Host and Port set, also makes the connection.
    void Open() override;
    // Closes the socket, then the handler.
    void Close() override;

protected:
    void InitializeDefaults() override;

    // Socket, bind options, local bind and the bind events; descendants go on to
    // resolve and connect.
    virtual void EstablishConnection();
    virtual void DoBeforeBind();
    virtual void DoAfterBind();
    virtual void DoSocketAllocated();

    bool HasSource() const override { return FBinding && FBinding->HandleAllocated(); }

private:
    std::unique_ptr<TIdSocketHandle> FBinding;
    String FBoundIP;
    TIdPort FBoundPort = 0;
    TIdPort FBoundPortMax = 0;
    TIdPort FBoundPortMin = 0;
    TIdPort FDefaultPort = 0;
    bool FUseNagle = true;
    TIdReuseSocket FReuseSocket = TIdReuseSocket::rsOSDependent;
    TIdIPVersion FIPVersion = TIdIPVersion::Id_IPv4;
};
