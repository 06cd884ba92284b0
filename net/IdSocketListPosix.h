#pragma once
// TIdSocketListPosix: the socket list of TIdStackPosix. It keeps the 64-socket limit
// of a Windows descriptor set but waits with poll(), which, unlike select(), has no
// upper bound on the descriptor numbers it can watch.

#include "net/IdSocketList.h"

#include <array>

class TIdSocketListPosix : public TIdSocketList {
public:
    static constexpr int MaxHandles = 64;

    TIdStackSocketHandle GetItem(int AIndex) const override;
    void Add(TIdStackSocketHandle AHandle) override;
    std::unique_ptr<TIdSocketList> Clone() const override;
    int Count() const override;
    void Remove(TIdStackSocketHandle AHandle) override;
    void Clear() override;
    bool ContainsSocket(TIdStackSocketHandle AHandle) const override;
    bool SelectRead(int ATimeout = IdWaitWithoutLimit) override;

private:
    bool Contains(TIdStackSocketHandle AHandle) const; // caller holds FLock

    std::array<TIdStackSocketHandle, MaxHandles> FHandles{};
    int FCount = 0;
};
