#include "smtp/IdComponent.h"

#include "net/IdStack.h"

const String& IdStatusText(TIdStatus status)
{
    static const String texts[] = {
        u"Resolving hostname %s.", u"Connecting to %s.", u"Connected.", u"Disconnecting.",
        u"Disconnected.", u"%s", u"%s", u"%s", u"%s",
    };
    return texts[static_cast<std::size_t>(status)];
}

TIdComponent::TIdComponent(TIdCreationKey key)
    : TIdBaseComponent(key)
{
    // Every component keeps the socket stack alive while it exists.
    TIdStack::IncUsage();
}

TIdComponent::~TIdComponent()
{
    // The base destructor tells the work target and drops the link.
    FWorkTarget = nullptr;
    TIdStack::DecUsage();
}

void TIdComponent::BeginWork(TWorkMode mode, std::int64_t size)
{
    if (FWorkTarget) {
        FWorkTarget->BeginWork(mode, size);
        return;
    }
    TWorkInfo& info = Info(mode);
    ++info.Level;
    if (info.Level == 1) {
        info.CountMax = size;
        info.Count = 0;
        if (OnWorkBegin)
            OnWorkBegin(this, mode, size);
    }
}

void TIdComponent::DoWork(TWorkMode mode, std::int64_t count)
{
    if (FWorkTarget) {
        FWorkTarget->DoWork(mode, count);
        return;
    }
    TWorkInfo& info = Info(mode);
    if (info.Level < 1)
        return;
    info.Count += count;
    if (OnWork)
        OnWork(this, mode, info.Count);
}

void TIdComponent::EndWork(TWorkMode mode)
{
    if (FWorkTarget) {
        FWorkTarget->EndWork(mode);
        return;
    }
    TWorkInfo& info = Info(mode);
    if (info.Level == 1 && OnWorkEnd)
        OnWorkEnd(this, mode);
    --info.Level;
}

void TIdComponent::ReportStatus(TIdStatus status, std::initializer_list<FormatArg> args)
{
    if (!OnStatus)
        return;
    const String text = args.size() == 0 ? Format(IdStatusText(status), {String()})
                                         : Format(IdStatusText(status), args);
    OnStatus(this, status, text);
}

void TIdComponent::SetWorkTarget(TIdComponent* target)
{
    // The link to an old target is left in place: there is one link per pair of
    // components, and the target may use the same link to watch this component (a
    // connection watches its handler). It goes away when either one is destroyed.
    FWorkTarget = target;
    FreeNotification(FWorkTarget);
}

void TIdComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component == FWorkTarget)
        FWorkTarget = nullptr;
    TIdBaseComponent::Notification(component, operation);
}
