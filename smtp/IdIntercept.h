#pragma once
// TIdConnectionIntercept: an optional filter that sees every byte an I/O handler
// sends or receives (compression, logging, a custom framing), chainable through
// Intercept. The mail path installs none; with none the bytes pass unchanged.

#include "mime/IdGlobal.h"
#include "smtp/IdBaseComponent.h"

#include <functional>

class TIdConnectionIntercept;

using TIdInterceptNotifyEvent = std::function<void(TIdConnectionIntercept* ASender)>;
using TIdInterceptStreamEvent = std::function<void(TIdConnectionIntercept* ASender, TIdBytes& ABuffer)>;

class TIdConnectionIntercept : public TIdBaseComponent {
public:
    explicit TIdConnectionIntercept(TIdCreationKey key) : TIdBaseComponent(key) {}

    static String ClassName() { return u"TIdConnectionIntercept"; }

    TIdInterceptNotifyEvent OnConnect;
    TIdInterceptNotifyEvent OnDisconnect;
    TIdInterceptStreamEvent OnReceive;
    TIdInterceptStreamEvent OnSend;

    // A connection (or handler) starts or stops using the intercept; the next one in
    // the chain is told as well.
    virtual void Connect(TComponent* AConnection);
    virtual void Disconnect();
    // Outgoing bytes pass this intercept first and then the next one; incoming bytes
    // pass the chain in the opposite order, so each filter undoes its own work.
    virtual void Receive(TIdBytes& VBuffer);
    virtual void Send(TIdBytes& VBuffer);

    TComponent* Connection() const { return FConnection; }

    // The next filter of the chain. A chain that would lead back to this intercept
    // raises EIdInterceptCircularLink.
    TIdConnectionIntercept* Intercept() const { return FIntercept; }
    void SetIntercept(TIdConnectionIntercept* AValue);

protected:
    void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
    TComponent* FConnection = nullptr;
    TIdConnectionIntercept* FIntercept = nullptr;
};
