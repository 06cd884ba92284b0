// The system's stack and socket list on POSIX: TIdStackPosix and TIdSocketListPosix.
// (IdStackSystemWindows.cpp names the Windows ones; the build takes one of the two.)

#include "net/IdSocketListPosix.h"
#include "net/IdStackPosix.h"

TIdStackClass TIdStack::SystemStackClass()
{
    return &TIdStackPosix::Create;
}

std::unique_ptr<TIdSocketList> TIdSocketList::CreateSocketList()
{
    return std::make_unique<TIdSocketListPosix>();
}
