#pragma once
// TIdComponent: the status event and the progress (work) events shared by every
// network and mail component, with nesting per work mode and forwarding to a
// WorkTarget.

#include "mime/IdGlobal.h"
#include "smtp/IdBaseComponent.h"

#include <array>
#include <cstdint>
#include <functional>

enum class TIdStatus {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText,
    ftpTransfer,
    ftpReady,
    ftpAborted,
};

enum class TWorkMode { wmRead, wmWrite };

class TIdComponent;

using TIdStatusEvent = std::function<void(TIdComponent* ASender, TIdStatus AStatus, const String& AStatusText)>;
using TWorkEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode, std::int64_t AWorkCount)>;
using TWorkBeginEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode, std::int64_t AWorkCountMax)>;
using TWorkEndEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode)>;

// The status texts, formatted with the report's arguments.
const String& IdStatusText(TIdStatus status);

class TIdComponent : public TIdBaseComponent {
public:
    explicit TIdComponent(TIdCreationKey key);
    ~TIdComponent() override;

    TIdStatusEvent OnStatus;
    TWorkEvent OnWork;
    TWorkBeginEvent OnWorkBegin;
    TWorkEndEvent OnWorkEnd;

    virtual void BeginWork(TWorkMode mode, std::int64_t size = 0);
    virtual void DoWork(TWorkMode mode, std::int64_t count);
    virtual void EndWork(TWorkMode mode);

    // Does nothing without an OnStatus handler; otherwise formats the status text
    // with the arguments (none: one empty text) and fires OnStatus.
    void ReportStatus(TIdStatus status, std::initializer_list<FormatArg> args = {});

    TIdComponent* WorkTarget() const { return FWorkTarget; }
    void SetWorkTarget(TIdComponent* target);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct TWorkInfo {
        std::int64_t Count = 0;
        std::int64_t CountMax = 0;
        std::int32_t Level = 0;
    };
    TWorkInfo& Info(TWorkMode mode) { return FWorkInfos[static_cast<std::size_t>(mode)]; }

    std::array<TWorkInfo, 2> FWorkInfos{};
    TIdComponent* FWorkTarget = nullptr;
};
