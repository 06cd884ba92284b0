#include "smtp/IdIntercept.h"

#include "smtp/IdExceptionCore.h"

void TIdConnectionIntercept::Connect(TComponent* AConnection)
{
    FConnection = AConnection;
    // The connection may be destroyed before the intercept; forget it then.
    FreeNotification(AConnection);
    if (FIntercept)
        FIntercept->Connect(AConnection);
    if (OnConnect)
        OnConnect(this);
}

void TIdConnectionIntercept::Disconnect()
{
    if (FIntercept)
        FIntercept->Disconnect();
    if (OnDisconnect)
        OnDisconnect(this);
    // The free-notification link stays: the connection may watch this intercept
    // through the same link, and it goes away with either of the two.
    FConnection = nullptr;
}

void TIdConnectionIntercept::Receive(TIdBytes& VBuffer)
{
    if (FIntercept)
        FIntercept->Receive(VBuffer);
    if (OnReceive)
        OnReceive(this, VBuffer);
}

void TIdConnectionIntercept::Send(TIdBytes& VBuffer)
{
    if (OnSend)
        OnSend(this, VBuffer);
    if (FIntercept)
        FIntercept->Send(VBuffer);
}

void TIdConnectionIntercept::SetIntercept(TIdConnectionIntercept* AValue)
{
    for (const TIdConnectionIntercept* next = AValue; next; next = next->FIntercept) {
        if (next == this)
            EIdException::Toss<EIdInterceptCircularLink>(u"Intercepts cannot be chained in a circle.");
    }
    FIntercept = AValue;
    FreeNotification(AValue);
}

void TIdConnectionIntercept::Notification(TComponent* AComponent, TOperation AOperation)
{
    if (AOperation == TOperation::opRemove) {
        if (AComponent == FIntercept)
            FIntercept = nullptr;
        if (AComponent == FConnection)
            FConnection = nullptr;
    }
    TIdBaseComponent::Notification(AComponent, AOperation);
}
