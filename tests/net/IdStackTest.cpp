// The shared stack's life, name resolution and the error model.

#include "net/IdStack.h"
#include "net/IdStackErrors.h"
#include "platform/HostName.h"
#include "smtp/IdComponent.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/StackUsage.h"
#include "tests/net/NetTestSystem.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts the stacks made and freed through the stack class.
struct StackCensus {
    static inline int Made = 0;
    static inline int Freed = 0;
    static inline bool ReachableWhileFreed = false;
};

class TCountedStack : public TSystemStack {
public:
    TCountedStack() { ++StackCensus::Made; }
    ~TCountedStack() override
    {
        ++StackCensus::Freed;
        try {
            GStack();
            StackCensus::ReachableWhileFreed = true;
        } catch (const EIdStackError&) {
            // expected: the shared reference is gone before the object is
        }
    }
    static std::unique_ptr<TIdStack> Create() { return std::make_unique<TCountedStack>(); }
};

std::unique_ptr<TIdStack> FailingStack()
{
    EIdException::Toss<EIdStackInitializationFailed>(u"no sockets today");
}

// Installs a stack class for one test and puts the previous one back.
struct StackClassSwap {
    explicit StackClassSwap(TIdStackClass stackClass) { TIdStack::SetStackClass(stackClass); }
    ~StackClassSwap() { TIdStack::SetStackClass(Previous); }
    TIdStackClass Previous = TIdStack::StackClass();
};

// Records the names that reach the resolver instead of asking it.
class TResolverProbe : public TSystemStack {
public:
    std::vector<String> Asked;
    String LookupHostAddress(const String& AHost, TIdIPVersion) override
    {
        Asked.push_back(AHost);
        return u"resolved";
    }
};

} // namespace

TEST(IdStackUsage, StackLivesFromFirstHolderToLast)
{
    ASSERT_EQ(TIdStack::UsageCount(), 0) << "another test left a holder behind";
    StackClassSwap swap(&TCountedStack::Create);
    StackCensus::Made = StackCensus::Freed = 0;
    EXPECT_THROW(GStack(), EIdStackError);

    TIdStack::IncUsage();
    TIdStack::IncUsage();
    EXPECT_EQ(StackCensus::Made, 1);
    EXPECT_NE(dynamic_cast<TCountedStack*>(&GStack()), nullptr);
    TIdStack::DecUsage();
    EXPECT_EQ(StackCensus::Freed, 0);
    TIdStack::DecUsage();
    EXPECT_EQ(StackCensus::Freed, 1);
    EXPECT_FALSE(StackCensus::ReachableWhileFreed);
    EXPECT_THROW(GStack(), EIdStackError);

    TIdStack::DecUsage(); // one too many: ignored
    EXPECT_EQ(TIdStack::UsageCount(), 0);

    {
        // A component is a holder for as long as it exists.
        auto component = MakeComponent<TIdComponent>();
        EXPECT_EQ(StackCensus::Made, 2);
        EXPECT_EQ(TIdStack::UsageCount(), 1);
    }
    EXPECT_EQ(StackCensus::Freed, 2);
}

TEST(IdStackUsage, FailedCreationLeavesNoHolder)
{
    ASSERT_EQ(TIdStack::UsageCount(), 0);
    {
        StackClassSwap swap(nullptr);
        const auto e = Caught<EIdException>([] { TIdStack::IncUsage(); });
        EXPECT_EQ(e.Message(), u"Stack Class is undefined.");
        EXPECT_EQ(TIdStack::UsageCount(), 0);
    }
    {
        StackClassSwap swap(&FailingStack);
        EXPECT_THROW(TIdStack::IncUsage(), EIdStackInitializationFailed);
        EXPECT_EQ(TIdStack::UsageCount(), 0);
    }
    StackUsage usage; // the lock was released on the failing paths
    EXPECT_EQ(TIdStack::UsageCount(), 1);
}

TEST(IdStackResolve, LocalhostAndDottedTextsNeedNoResolver)
{
    TResolverProbe stack;
    for (const String host : {u"localhost", u"LocalHost", u"LOCALHOST"})
        EXPECT_EQ(stack.ResolveHost(host), u"127.0.0.1") << ToUtf8(host);
    EXPECT_EQ(stack.ResolveHost(u"10.0.0.1"), u"10.0.0.1");
    EXPECT_EQ(stack.ResolveHost(u" 10.0.0.1"), u" 10.0.0.1"); // passed on with its blank
    EXPECT_EQ(stack.ResolveHost(u"fe80::0a:b", TIdIPVersion::Id_IPv6), u"FE80:0:0:0:0:0:A:B");
    EXPECT_EQ(stack.ResolveHost(u"::ffff:1.2.3.4", TIdIPVersion::Id_IPv6), u"0:0:0:0:0:FFFF:102:304");
    EXPECT_TRUE(stack.Asked.empty());

    for (const String host : {u"1.2.3.256", u"1.2.3", u"::1%lo"})
        EXPECT_EQ(stack.ResolveHost(host, host[0] == u':' ? TIdIPVersion::Id_IPv6 : TIdIPVersion::Id_IPv4),
                  u"resolved");
    EXPECT_EQ(stack.ResolveHost(u"localhost", TIdIPVersion::Id_IPv6), u"resolved");
    EXPECT_EQ(stack.Asked, (std::vector<String>{u"1.2.3.256", u"1.2.3", u"::1%lo", u"localhost"}));
    EXPECT_EQ(TIdStack::CanonicalIPv6Address(String(u"::1\0::2", 7)), u""); // not cut at the zero
}

TEST(IdStackResolve, IsIPWantsFourNumbersUpTo255)
{
    TSystemStack stack;
    for (const String text : {u"1.2.3.4", u"0.0.0.0", u"255.255.255.255", u" 10.0.0.1", u"10 . 0 .0. 1 "})
        EXPECT_TRUE(stack.IsIP(text)) << ToUtf8(text);
    for (const String text : {u"1.2.3", u"1.2.3.4.5", u"1.2.3.256", u"", u"a.b.c.d", u"1.2.3.4.", u"1..3.4",
                              u"-1.2.3.4", u"1 2.3.4.5"})
        EXPECT_FALSE(stack.IsIP(text)) << ToUtf8(text);
}

TEST(IdStackResolve, ResolverAnswersAndFailures)
{
    StackUsage usage;
    // Numeric forms the resolver reads itself: no name server is asked.
    EXPECT_EQ(GStack().ResolveHost(u"1.2.3"), u"1.2.0.3");
    EXPECT_EQ(GStack().ResolveHost(u"::1%1", TIdIPVersion::Id_IPv6), u"0:0:0:0:0:0:0:1");

    for (const String& host : std::initializer_list<String>{u"no-such-host.invalid", u"Mail.Example.INVALID.",
                                                             String(u"a\0b", 3)}) {
        const auto e = Caught<EIdSocketError>([&] { GStack().ResolveHost(host); });
        EXPECT_EQ(e.LastError(), 11001) << ToUtf8(host);
        EXPECT_EQ(e.Message(), u"Socket Error # 11001\r\nHost not found.");
    }
    for (auto action : {+[] { GStack().ResolveHost(u"localhost", static_cast<TIdIPVersion>(2)); },
                        +[] { GStack().LookupHostAddress(u"localhost", static_cast<TIdIPVersion>(2)); },
                        +[] { GStack().NewSocketHandle(Id_SOCK_STREAM, 0, static_cast<TIdIPVersion>(2)); }}) {
        const auto e = Caught<EIdIPVersionUnsupported>(action);
        EXPECT_EQ(e.Message(), u"The requested IPVersion / Address family is not supported.");
    }
    EXPECT_FALSE(GStack().HostName().empty());
    EXPECT_EQ(GStack().HostName(), FromUtf8(orvant::platform::HostName()));
}

TEST(IdStackErrors, MessagesCarryCodeAndText)
{
    TSystemStack stack;
    EXPECT_EQ(stack.WSTranslateSocketErrorMsg(10066), u"Socket Error # 10066\r\nDirectory not empty");
    // A code without a text still names the code; the message ends with the line break.
    EXPECT_EQ(stack.WSTranslateSocketErrorMsg(11002), u"Socket Error # 11002\r\n");
    try {
        stack.RaiseSocketError(10061);
    } catch (const EIdNotASocket&) {
        ADD_FAILURE() << "only 10038 is EIdNotASocket";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10061);
        EXPECT_EQ(std::string(e.what()), "Socket Error # 10061\r\nConnection refused.");
    }
    const auto notSocket = Caught<EIdNotASocket>([&] { stack.RaiseSocketError(10038); });
    EXPECT_EQ(notSocket.LastError(), 10038);
    EXPECT_EQ(notSocket.Message(), u"Socket Error # 10038\r\nSocket operation on non-socket.");
}

TEST(IdStackErrors, CheckForSocketErrorRaisesOnlyMinusOne)
{
    TSystemStack stack;
    EXPECT_EQ(stack.CheckForSocketError(0), 0);
    EXPECT_EQ(stack.CheckForSocketError(7, {10054}), 7);
    stack.WSSetLastError(10054);
    EXPECT_EQ(stack.CheckForSocketError(-1, {10058, 10053, 10054, 10060}), 10054);
    stack.WSSetLastError(10061);
    EXPECT_EQ(Caught<EIdSocketError>([&] { stack.CheckForSocketError(-1, {10054}); }).LastError(), 10061);

    // The last error survives a trip through the system's own (errno on POSIX), also for
    // codes no errno stands for.
    for (std::int32_t code : {10060, 10013, 10035, 11001, 0}) {
        stack.WSSetLastError(code);
        EXPECT_EQ(stack.WSGetLastError(), code);
    }
}
