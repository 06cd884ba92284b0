// The connection as a stream: write buffering opened and closed by the stream,
// exact reads, and what happens to unsent bytes when an exception unwinds.

#include "smtp/IdTCPConnection.h"
#include "smtp/IdTCPStream.h"
#include "support/ScriptedIOHandler.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct IdTCPStreams : ::testing::Test {
    std::unique_ptr<TIdTCPConnection> Connection = MakeComponent<TIdTCPConnection>();
    std::unique_ptr<TScriptedIOHandler> IO = MakeScriptedIOHandler();
    IdTCPStreams() { Connection->SetIOHandler(IO.get()); }
};

} // namespace

TEST_F(IdTCPStreams, WritesGoOutAtTheThresholdAndTheRestAtTheEnd)
{
    {
        TIdTCPStream stream(*Connection, 8);
        stream.WriteBuffer("0123456789", 10);
        EXPECT_EQ(IO->SendCalls(), std::vector<std::string>{"01234567"});
    }
    EXPECT_EQ(IO->SendCalls(), (std::vector<std::string>{"01234567", "89"}));
    EXPECT_FALSE(IO->WriteBufferingActive());
}

TEST_F(IdTCPStreams, BufferingOpenedByOthersIsLeftToThem)
{
    IO->WriteBufferOpen();
    {
        TIdTCPStream stream(*Connection, 8);
        stream.WriteBuffer("0123456789", 10);
    }
    EXPECT_TRUE(IO->SendCalls().empty());
    IO->WriteBufferClose();
    EXPECT_EQ(IO->Sent(), "0123456789");

    TIdTCPStream unbuffered(*Connection);
    unbuffered.WriteBuffer("ab", 2);
    EXPECT_EQ(IO->SendCalls().back(), "ab"); // no threshold: straight through
}

TEST_F(IdTCPStreams, UnwindingDropsWhatTheStreamBuffered)
{
    try {
        TIdTCPStream stream(*Connection, 1000);
        stream.WriteBuffer("partial", 7);
        throw std::runtime_error("encoder failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(IO->Sent(), "");
    EXPECT_FALSE(IO->WriteBufferingActive());
}

TEST_F(IdTCPStreams, ReadsExactlyTheCountAcrossReceives)
{
    IO->Receive("abc").Receive("defg");
    TIdTCPStream stream(*Connection);
    char buffer[5];
    stream.ReadBuffer(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "abcde");
}
