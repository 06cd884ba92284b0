// The system's stack and socket list on Windows: TIdStackWindows and
// TIdSocketListWindows. (IdStackSystemPosix.cpp names the POSIX ones; the build takes
// one of the two.)

#include "net/IdSocketListWindows.h"
#include "net/IdStackWindows.h"

TIdStackClass TIdStack::SystemStackClass()
{
    return &TIdStackWindows::Create;
}

std::unique_ptr<TIdSocketList> TIdSocketList::CreateSocketList()
{
    return std::make_unique<TIdSocketListWindows>();
}
