// The POSIX stack's own side of the error model and start-up: errno and the resolver's
// results translated, SIGPIPE ignored.

#include "net/IdStackErrors.h"
#include "net/IdStackPosix.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/StackUsage.h"

#include <gtest/gtest.h>

#include <netdb.h>

#include <cerrno>
#include <csignal>

TEST(IdStackPosix, StartUpIgnoresSigpipe)
{
    StackUsage usage;
    struct sigaction current{};
    ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
}

TEST(IdStackPosix, ErrnoAndResolverResultsBecomeSocketCodes)
{
    TIdStackPosix stack;
    errno = EPIPE; // a send to a peer that is gone
    EXPECT_EQ(Caught<EIdSocketError>([&] { stack.CheckForSocketError(-1); }).LastError(), 10054);
    stack.WSSetLastError(10060);
    EXPECT_EQ(errno, ETIMEDOUT) << "the code goes to errno as the first errno it stands for";
    EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(SocketErrorFromResolver(EAI_SYSTEM, EMFILE), 10024);
}
