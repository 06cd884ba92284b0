#pragma once
// TIdSocketListPosix: the socket list of TIdStackPosix. It keeps the 64-socket limit
// of a Windows descriptor set but waits with poll(), which, unlike select(), has no
// upper bound on the descriptor numbers it can watch.

#include "net/IdSocketListBSD.h"

class TIdSocketListPosix : public TIdSocketListBSD {
public:
    std::unique_ptr<TIdSocketList> Clone() const override;
    bool SelectRead(int ATimeout = IdWaitWithoutLimit) override;
};
