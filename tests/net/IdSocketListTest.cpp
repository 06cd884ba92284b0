// Socket lists: the 64-socket limit and readability waits on loopback connections.

#include "net/IdSocketList.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/LoopbackPeer.h"
#include "support/StackUsage.h"
#include "support/TestSockets.h"

#include <gtest/gtest.h>

namespace {

struct IdSocketLists : ::testing::Test {
    StackUsage Usage;
    std::unique_ptr<TIdSocketList> List = TIdSocketList::CreateSocketList();
};

} // namespace

TEST_F(IdSocketLists, SixtyFifthSocketExceedsTheSet)
{
    for (int handle = 1000; handle < 1064; ++handle)
        List->Add(handle);
    List->Add(1000); // already there: takes no room
    const auto e = Caught<EIdStackSetSizeExceeded>([&] { List->Add(2000); });
    EXPECT_EQ(e.Message(), u"Set Size Exceeded.");

    List->Remove(1010);
    List->Add(2000);
    EXPECT_EQ(List->Count(), 64);
    EXPECT_FALSE(List->ContainsSocket(1010));
    EXPECT_EQ(List->GetItem(10), 1011); // order is kept
    EXPECT_EQ(List->Clone()->GetItem(63), 2000);
}

TEST_F(IdSocketLists, ReadableWhenDataOrCloseArrives)
{
    LoopbackListener listener;
    ScopedFd quiet = ConnectLoopback(listener.Port());
    ScopedFd quietPeer = listener.Accept();
    ScopedFd talking = ConnectLoopback(listener.Port());
    ScopedFd talkingPeer = listener.Accept();

    List->Add(quiet.Get());
    EXPECT_FALSE(List->SelectRead(20)); // nothing comes: the wait ends with false
    List->Add(talking.Get());
    WriteAll(talkingPeer.Get(), "220 ready\r\n");
    EXPECT_TRUE(List->SelectRead(IdWaitWithoutLimit));

    List->Remove(talking.Get());
    EXPECT_FALSE(List->SelectRead(0));
    quietPeer.Reset(); // the peer's close makes the socket readable too
    EXPECT_TRUE(List->SelectRead(IdWaitWithoutLimit));
}

TEST_F(IdSocketLists, WaitsThatCannotWorkRaise)
{
    // Nothing to wait for: without a limit the wait would never end.
    const auto empty = Caught<EIdSocketError>([&] { List->SelectRead(IdWaitWithoutLimit); });
    EXPECT_EQ(empty.Message(), u"Socket Error # 10022\r\nInvalid argument.");

    // A descriptor closed behind the list's back is an error, not "not readable".
    LoopbackListener listener;
    ScopedFd client = ConnectLoopback(listener.Port());
    const int closed = testsockets::NewSocket(AF_INET, SOCK_STREAM);
    ASSERT_NE(closed, -1);
    testsockets::CloseSocket(closed);
    List->Add(client.Get());
    List->Add(closed);
    // POSIX: a bad descriptor (EBADF); Windows: not a socket, as select() says.
#ifdef _WIN32
    const std::int32_t expected = 10038;
#else
    const std::int32_t expected = 10009;
#endif
    EXPECT_EQ(Caught<EIdSocketError>([&] { List->SelectRead(0); }).LastError(), expected);
}
