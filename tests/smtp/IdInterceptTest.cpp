#include "smtp/IdAntiFreezeBase.h"
#include "smtp/IdIntercept.h"
#include "support/ScriptedIOHandler.h"

#include <gtest/gtest.h>

namespace {

// Adds a fixed byte to every byte sent and takes it off every byte received, and
// logs the order in which the filters of a chain run.
void MakeShifter(TIdConnectionIntercept& intercept, std::uint8_t shift, std::string& log, char name)
{
    intercept.OnSend = [shift, &log, name](TIdConnectionIntercept*, TIdBytes& bytes) {
        log += name;
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(b + shift);
    };
    intercept.OnReceive = [shift, &log, name](TIdConnectionIntercept*, TIdBytes& bytes) {
        log += name;
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(b - shift);
    };
}

class TCountingAntiFreeze : public TIdAntiFreezeBase {
public:
    using TIdAntiFreezeBase::TIdAntiFreezeBase;
    int turns = 0;
    void Process() override { ++turns; }
};

} // namespace

TEST(IdConnectionIntercept, ChainFiltersBothWaysAndIsToldOfTheClose)
{
    auto outer = MakeComponent<TIdConnectionIntercept>();
    auto inner = MakeComponent<TIdConnectionIntercept>();
    std::string order;
    MakeShifter(*outer, 1, order, 'A');
    MakeShifter(*inner, 2, order, 'B');
    outer->SetIntercept(inner.get());
    int disconnects = 0;
    inner->OnDisconnect = [&](TIdConnectionIntercept*) { ++disconnects; };

    auto io = MakeScriptedIOHandler();
    io->SetIntercept(outer.get());
    io->WriteLn(u"ab");
    EXPECT_EQ(io->Sent(), "de\x10\x0D"); // each byte + 3
    io->Receive("dd\x10\x0D");
    EXPECT_EQ(io->ReadLn(), u"aa");
    EXPECT_EQ(order, "ABBA"); // sent through A then B, received through B then A

    io->Close();
    EXPECT_EQ(disconnects, 1);
    inner.reset(); // the chain and the handler forget destroyed intercepts
    EXPECT_EQ(outer->Intercept(), nullptr);
    outer.reset();
    EXPECT_EQ(io->Intercept(), nullptr);
    io->Open();
    io->WriteLn(u"x");
    EXPECT_EQ(io->Sent().substr(4), "x\r\n");
}

TEST(IdConnectionIntercept, RefusesACircularChain)
{
    auto a = MakeComponent<TIdConnectionIntercept>();
    auto b = MakeComponent<TIdConnectionIntercept>();
    a->SetIntercept(b.get());
    EXPECT_THROW(b->SetIntercept(a.get()), EIdInterceptCircularLink);
    EXPECT_THROW(a->SetIntercept(a.get()), EIdInterceptCircularLink);
    EXPECT_EQ(b->Intercept(), nullptr);
    EXPECT_EQ(a->Intercept(), b.get());
}

TEST(IdAntiFreeze, OneInstanceThatTheWriteLoopOffersATurnPerChunk)
{
    auto io = MakeScriptedIOHandler();
    io->MaxSendChunk = 2;
    io->WriteLn(u"abcd"); // no anti-freeze: nothing to call
    {
        auto antiFreeze = MakeComponent<TCountingAntiFreeze>();
        EXPECT_EQ(TIdAntiFreezeBase::Instance(), antiFreeze.get());
        try {
            MakeComponent<TCountingAntiFreeze>();
            FAIL() << "a second anti-freeze was made";
        } catch (const EIdException& e) {
            EXPECT_EQ(e.Message(), u"Only one TIdAntiFreeze can exist per application.");
        }
        EXPECT_EQ(TIdAntiFreezeBase::Instance(), antiFreeze.get());

        io->WriteLn(u"abcd"); // only when idle by default: the write loop is busy
        EXPECT_EQ(antiFreeze->turns, 0);
        antiFreeze->SetOnlyWhenIdle(false);
        io->WriteLn(u"abcd");
        EXPECT_EQ(antiFreeze->turns, 3);
        antiFreeze->SetActive(false);
        io->WriteLn(u"abcd");
        EXPECT_EQ(antiFreeze->turns, 3);
        antiFreeze->SetActive(true);
        TIdAntiFreezeBase::Sleep(0);
        TIdAntiFreezeBase::DoProcess();
        EXPECT_EQ(antiFreeze->turns, 4);
    }
    EXPECT_EQ(TIdAntiFreezeBase::Instance(), nullptr);
}
