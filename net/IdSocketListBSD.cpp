#include "net/IdSocketListBSD.h"

#include "smtp/IdExceptionCore.h"

#include <algorithm>

TIdStackSocketHandle TIdSocketListBSD::GetItem(int AIndex) const
{
    std::lock_guard<std::mutex> lock(FLock);
    if (AIndex < 0 || AIndex >= FCount)
        throw EListError(Format(u"List index out of bounds (%d)", {std::int64_t(AIndex)}));
    return FHandles[static_cast<std::size_t>(AIndex)];
}

void TIdSocketListBSD::Add(TIdStackSocketHandle AHandle)
{
    std::lock_guard<std::mutex> lock(FLock);
    if (Contains(AHandle))
        return;
    if (FCount >= MaxHandles)
        EIdException::Toss<EIdStackSetSizeExceeded>(u"Set Size Exceeded.");
    FHandles[static_cast<std::size_t>(FCount++)] = AHandle;
}

int TIdSocketListBSD::Count() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FCount;
}

void TIdSocketListBSD::Remove(TIdStackSocketHandle AHandle)
{
    std::lock_guard<std::mutex> lock(FLock);
    const auto end = FHandles.begin() + FCount;
    const auto found = std::find(FHandles.begin(), end, AHandle);
    if (found == end)
        return;
    std::copy(found + 1, end, found);
    --FCount;
}

void TIdSocketListBSD::Clear()
{
    std::lock_guard<std::mutex> lock(FLock);
    FCount = 0;
}

bool TIdSocketListBSD::ContainsSocket(TIdStackSocketHandle AHandle) const
{
    std::lock_guard<std::mutex> lock(FLock);
    return Contains(AHandle);
}

bool TIdSocketListBSD::Contains(TIdStackSocketHandle AHandle) const
{
    const auto end = FHandles.begin() + FCount;
    return std::find(FHandles.begin(), end, AHandle) != end;
}

int TIdSocketListBSD::Snapshot(THandles& VHandles) const
{
    std::lock_guard<std::mutex> lock(FLock);
    VHandles = FHandles;
    return FCount;
}

void TIdSocketListBSD::CopyTo(TIdSocketListBSD& ATarget) const
{
    std::lock_guard<std::mutex> lock(FLock);
    ATarget.FHandles = FHandles;
    ATarget.FCount = FCount;
}
