#include "net/IdSocketList.h"

#include "net/IdSocketListPosix.h"

std::unique_ptr<TIdSocketList> TIdSocketList::CreateSocketList()
{
    return std::make_unique<TIdSocketListPosix>();
}
