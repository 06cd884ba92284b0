#pragma once
// TIdAntiFreezeBase: the hook that lets a user interface stay responsive while the
// main thread blocks in network calls. At most one exists per program; the I/O
// handlers offer it a turn (DoProcess) while they wait or write. A concrete class
// (one per GUI toolkit) implements Process. The mail program installs none, and
// with none every hook below does nothing.

#include "smtp/IdBaseComponent.h"

#include <cstdint>

class TIdAntiFreezeBase : public TIdBaseComponent {
public:
    // Raises EIdException when another anti-freeze object exists.
    explicit TIdAntiFreezeBase(TIdCreationKey key);
    ~TIdAntiFreezeBase() override;

    // Processes the user interface's pending messages.
    virtual void Process() = 0;

    // The one instance, or none.
    static TIdAntiFreezeBase* Instance();
    // Whether the hook acts for the caller: an instance exists, is active and the
    // caller is the main thread.
    static bool ShouldUse();
    // The turn offered during blocking work. With OnlyWhenIdle the user interface is
    // served only when the wait found nothing to do (AIdle), unless AOverride.
    static void DoProcess(bool AIdle = true, bool AOverride = false);
    // Sleeps ATimeout ms; with the hook in use, in slices of IdleTimeOut with a turn
    // after each, so the user interface stays alive.
    static void Sleep(std::int32_t ATimeout);

    bool Active() const { return FActive; }
    void SetActive(bool AValue) { FActive = AValue; }
    bool ApplicationHasPriority() const { return FApplicationHasPriority; }
    void SetApplicationHasPriority(bool AValue) { FApplicationHasPriority = AValue; }
    std::int32_t IdleTimeOut() const { return FIdleTimeOut; }
    void SetIdleTimeOut(std::int32_t AValue) { FIdleTimeOut = AValue; }
    bool OnlyWhenIdle() const { return FOnlyWhenIdle; }
    void SetOnlyWhenIdle(bool AValue) { FOnlyWhenIdle = AValue; }

protected:
    void InitializeDefaults() override;

private:
    bool FActive{};
    bool FApplicationHasPriority{};
    std::int32_t FIdleTimeOut{};
    bool FOnlyWhenIdle{};
};
