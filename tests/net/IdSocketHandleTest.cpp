// The socket binding: local binds, socket options read from and written to the
// socket, and the rules that guard a socket in use.

#include "net/IdSocketHandle.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/LoopbackPeer.h"
#include "support/RaisedMessage.h"

#include <gtest/gtest.h>

TEST(IdSocketHandle, BindsToAnyLocalPortOrRefusesTakenOnes)
{
    TIdSocketHandle binding;
    binding.AllocateSocket();
    binding.SetIP(u"127.0.0.1");
    binding.Bind();
    EXPECT_NE(binding.Port(), 0); // chosen by the system, read back
    EXPECT_EQ(binding.IP(), u"127.0.0.1");

    LoopbackListener taken;
    TIdSocketHandle second;
    second.AllocateSocket();
    second.SetIP(u"127.0.0.1");
    second.SetPort(taken.Port());
    EXPECT_EQ(RaisedMessage([&] { second.Bind(); }), u"Could not bind socket. Address and port are already in use.");

    second.SetPort(0);
    second.SetClientPortMin(taken.Port());
    second.SetClientPortMax(taken.Port());
    const String range = u"(" + IntToStr(taken.Port()) + u" - " + IntToStr(taken.Port()) + u")";
    EXPECT_EQ(RaisedMessage([&] { second.Bind(); }), u"Can not bind in port range " + range);
    second.SetClientPortMin(9);
    second.SetClientPortMax(5);
    Caught<EIdInvalidPortRange>([&] { second.Bind(); });
}

TEST(IdSocketHandle, NagleFollowsTheSocketOption)
{
    TIdSocketHandle binding;
    binding.AllocateSocket();
    EXPECT_EQ(binding.SocketType(), Id_SOCK_STREAM);
    EXPECT_TRUE(binding.UseNagle()); // read from the new socket
    binding.SetUseNagle(false);
    std::int32_t noDelay = 0;
    binding.GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY, noDelay);
    EXPECT_NE(noDelay, 0);
}

TEST(IdSocketHandle, SocketInUseKeepsItsAddressFamily)
{
    TIdSocketHandle binding;
    binding.AllocateSocket();
    const auto e = Caught<EIdCannotSetIPVersionWhenConnected>([&] { binding.SetIPVersion(TIdIPVersion::Id_IPv6); });
    EXPECT_EQ(e.Message(), u"Cannot change IPVersion when connected");
    binding.CloseSocket();
    EXPECT_FALSE(binding.HandleAllocated());
    EXPECT_EQ(binding.SocketType(), 0);
    binding.SetIPVersion(TIdIPVersion::Id_IPv6);
    EXPECT_EQ(binding.IPVersion(), TIdIPVersion::Id_IPv6);
}
