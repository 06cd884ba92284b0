#include "smtp/IdAntiFreezeBase.h"

#include "platform/MainThread.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
TIdAntiFreezeBase* gAntiFreeze = nullptr;

void SleepMilliseconds(std::int32_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

TIdAntiFreezeBase::TIdAntiFreezeBase(TIdCreationKey key)
    : TIdBaseComponent(key)
{
    if (gAntiFreeze)
        EIdException::Toss(u"Only one TIdAntiFreeze can exist per application.");
    gAntiFreeze = this;
}

TIdAntiFreezeBase::~TIdAntiFreezeBase()
{
    if (gAntiFreeze == this)
        gAntiFreeze = nullptr;
}

void TIdAntiFreezeBase::InitializeDefaults()
{
    TIdBaseComponent::InitializeDefaults();
    FActive = true;
    FApplicationHasPriority = true;
    FIdleTimeOut = 250;
    FOnlyWhenIdle = true;
}

TIdAntiFreezeBase* TIdAntiFreezeBase::Instance()
{
    return gAntiFreeze;
}

bool TIdAntiFreezeBase::ShouldUse()
{
    return gAntiFreeze && gAntiFreeze->FActive && orvant::platform::IsMainThread();
}

void TIdAntiFreezeBase::DoProcess(bool AIdle, bool AOverride)
{
    if (!ShouldUse())
        return;
    if (!gAntiFreeze->FOnlyWhenIdle || AIdle || AOverride)
        gAntiFreeze->Process();
}

void TIdAntiFreezeBase::Sleep(std::int32_t ATimeout)
{
    if (!ShouldUse()) {
        SleepMilliseconds(ATimeout);
        return;
    }
    const std::int32_t slice = std::max<std::int32_t>(gAntiFreeze->FIdleTimeOut, 1);
    // The user interface goes first when it has priority, else the sleep does.
    const bool applicationFirst = gAntiFreeze->FApplicationHasPriority;
    while (ATimeout > 0) {
        const std::int32_t step = std::min(ATimeout, slice);
        if (applicationFirst)
            DoProcess(false, true);
        SleepMilliseconds(step);
        if (!applicationFirst)
            DoProcess(false, true);
        ATimeout -= step;
    }
}
