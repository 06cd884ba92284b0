#pragma once
// TIdSocketListWindows: the socket list of TIdStackWindows. Its 64 sockets are exactly
// a Windows descriptor set (FD_SETSIZE), which select() waits on.

#include "net/IdSocketListBSD.h"

class TIdSocketListWindows : public TIdSocketListBSD {
public:
    std::unique_ptr<TIdSocketList> Clone() const override;
    bool SelectRead(int ATimeout = IdWaitWithoutLimit) override;
};
