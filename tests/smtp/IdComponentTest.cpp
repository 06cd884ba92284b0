#include "smtp/IdComponent.h"
#include "smtp/IdExceptionCore.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class TDefaultsProbe : public TIdComponent {
public:
    using TIdComponent::TIdComponent;
    std::vector<String> steps;

protected:
    void InitializeDefaults() override
    {
        TIdComponent::InitializeDefaults();
        steps.push_back(u"probe");
    }
};

class TDerivedProbe : public TDefaultsProbe {
public:
    using TDefaultsProbe::TDefaultsProbe;

protected:
    void InitializeDefaults() override
    {
        TDefaultsProbe::InitializeDefaults();
        steps.push_back(u"derived");
    }
};

struct WorkLog {
    std::vector<String> events;
    void Attach(TIdComponent& c)
    {
        c.OnWorkBegin = [this](TIdComponent*, TWorkMode, std::int64_t max) {
            events.push_back(u"begin " + IntToStr(max));
        };
        c.OnWork = [this](TIdComponent*, TWorkMode, std::int64_t n) { events.push_back(u"work " + IntToStr(n)); };
        c.OnWorkEnd = [this](TIdComponent*, TWorkMode) { events.push_back(u"end"); };
    }
};

} // namespace

TEST(IdComponent, InitializeDefaultsRunsOnceMostDerivedLast)
{
    auto c = MakeComponent<TDerivedProbe>();
    EXPECT_EQ(c->steps, (std::vector<String>{u"probe", u"derived"}));
}

TEST(IdComponent, NestedWorkFiresBeginAndEndOnce)
{
    auto c = MakeComponent<TIdComponent>();
    WorkLog log;
    log.Attach(*c);
    c->DoWork(TWorkMode::wmWrite, 5); // before any BeginWork: nothing
    c->BeginWork(TWorkMode::wmWrite, 100);
    c->BeginWork(TWorkMode::wmWrite, 50);
    c->DoWork(TWorkMode::wmWrite, 10);
    c->DoWork(TWorkMode::wmWrite, 20);
    c->EndWork(TWorkMode::wmWrite);
    c->EndWork(TWorkMode::wmWrite);
    EXPECT_EQ(log.events, (std::vector<String>{u"begin 100", u"work 10", u"work 30", u"end"}));
}

TEST(IdComponent, WorkTargetReceivesProgressAndIsForgottenWhenDestroyed)
{
    auto source = MakeComponent<TIdComponent>();
    WorkLog own;
    own.Attach(*source);
    WorkLog target;
    {
        auto t = MakeComponent<TIdComponent>();
        target.Attach(*t);
        source->SetWorkTarget(t.get());
        source->BeginWork(TWorkMode::wmRead, 3);
        source->DoWork(TWorkMode::wmRead, 3);
        source->EndWork(TWorkMode::wmRead);
    }
    EXPECT_TRUE(own.events.empty());
    EXPECT_EQ(target.events, (std::vector<String>{u"begin 3", u"work 3", u"end"}));
    EXPECT_EQ(source->WorkTarget(), nullptr);
    source->BeginWork(TWorkMode::wmRead, 1);
    EXPECT_EQ(own.events.size(), 1u);
}

TEST(IdComponent, StatusReportsFormatTheirTexts)
{
    auto c = MakeComponent<TIdComponent>();
    std::vector<String> texts;
    c->ReportStatus(TIdStatus::hsConnected); // no handler: nothing happens
    c->OnStatus = [&](TIdComponent*, TIdStatus, const String& text) { texts.push_back(text); };
    c->ReportStatus(TIdStatus::hsConnected, {String(u"smtp.example.com")});
    c->ReportStatus(TIdStatus::hsResolving, {String(u"smtp.example.com")});
    c->ReportStatus(TIdStatus::hsStatusText, {String(u"Encoding text")});
    c->ReportStatus(TIdStatus::hsStatusText);
    EXPECT_EQ(texts, (std::vector<String>{u"Connected.", u"Resolving hostname smtp.example.com.",
                                          u"Encoding text", u""}));
}

TEST(IdComponent, OwnerDestroysWhatItOwns)
{
    bool notified = false;
    struct TWatcher : TIdComponent {
        using TIdComponent::TIdComponent;
        bool* flag = nullptr;
        void Notification(TComponent* c, TOperation op) override
        {
            if (op == TOperation::opRemove && flag)
                *flag = true;
            TIdComponent::Notification(c, op);
        }
    };
    auto owner = MakeComponent<TIdComponent>();
    auto watcher = MakeComponent<TWatcher>();
    watcher->flag = &notified;
    TIdComponent& child = MakeOwnedComponent<TIdComponent>(*owner);
    EXPECT_EQ(child.Owner(), owner.get());
    watcher->FreeNotification(&child);
    owner.reset();
    EXPECT_TRUE(notified);
}

TEST(IdExceptions, ParentsCatchTheirDescendants)
{
    EXPECT_THROW(EIdException::Toss<EIdConnClosedGracefully>(u"Connection Closed Gracefully."),
                 EIdSilentException);
    EXPECT_THROW(throw EIdOSSLUnderlyingCryptoError(0x0A00010Bu, u"x"), EIdOpenSSLAPICryptoError);
    EXPECT_THROW(throw EIdOSSLConnectError(1, -1, u"x"), EIdOpenSSLError);
    EXPECT_THROW(throw EIdNotASocket(u"x"), EIdSocketError);
    try {
        throw EIdReplyRFCError(550, u"No such user");
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "No such user");
        EXPECT_EQ(dynamic_cast<const EIdReplyRFCError&>(e).ErrorCode(), 550);
    }
    const EIdException utf(u"Março");
    EXPECT_STREQ(utf.what(), "Mar\xC3\xA7o");
}

// A connection watches its I/O handler and is at the same time the handler's work
// target: both needs share one free-notification link between the two objects.
TEST(IdComponent, WorkTargetKeepsTheLinkItSharesWithAWatcher)
{
    struct TConnection : TIdComponent {
        using TIdComponent::TIdComponent;
        TIdComponent* handler = nullptr;
        void Notification(TComponent* c, TOperation op) override
        {
            if (op == TOperation::opRemove && c == handler)
                handler = nullptr;
            TIdComponent::Notification(c, op);
        }
    };
    auto connection = MakeComponent<TConnection>();
    {
        auto handler = MakeComponent<TIdComponent>();
        connection->handler = handler.get();
        connection->FreeNotification(handler.get());
        handler->SetWorkTarget(connection.get());
        handler->SetWorkTarget(nullptr); // the user detaches progress, not the watch
        handler->SetWorkTarget(connection.get());
    }
    EXPECT_EQ(connection->handler, nullptr);
}
