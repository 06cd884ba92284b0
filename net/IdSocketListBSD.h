#pragma once
// TIdSocketListBSD: the part of a socket list both systems share: up to 64 sockets (the
// size of a Windows descriptor set) kept in an array under the list's lock. Each
// system's list adds only its wait for readability: TIdSocketListPosix with poll(),
// TIdSocketListWindows with select().

#include "net/IdSocketList.h"

#include <array>

class TIdSocketListBSD : public TIdSocketList {
public:
    static constexpr int MaxHandles = 64;
    using THandles = std::array<TIdStackSocketHandle, MaxHandles>;

    TIdStackSocketHandle GetItem(int AIndex) const override;
    void Add(TIdStackSocketHandle AHandle) override;
    int Count() const override;
    void Remove(TIdStackSocketHandle AHandle) override;
    void Clear() override;
    bool ContainsSocket(TIdStackSocketHandle AHandle) const override;

protected:
    // The sockets as they are now, copied under the lock; returns how many there are.
    int Snapshot(THandles& VHandles) const;
    // Gives another list the same sockets (for Clone).
    void CopyTo(TIdSocketListBSD& ATarget) const;

private:
    bool Contains(TIdStackSocketHandle AHandle) const; // caller holds FLock

    THandles FHandles{};
    int FCount = 0;
};
