#include "mime/IdStream.h"
#include "net/IdIOHandlerStack.h"
#include "smtp/IdIOHandler.h"
#include "smtp/IdIOHandlerStream.h"
#include "smtp/IdIOHandlerStreamMsg.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedIOHandler.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <unistd.h>

namespace {

std::string Repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

// Records the work events of a component.
struct WorkLog {
    std::vector<std::string> events;
    explicit WorkLog(TIdComponent& c)
    {
        c.OnWorkBegin = [this](TIdComponent*, TWorkMode, std::int64_t max) {
            events.push_back("begin " + std::to_string(max));
        };
        c.OnWork = [this](TIdComponent*, TWorkMode, std::int64_t n) { events.push_back(std::to_string(n)); };
        c.OnWorkEnd = [this](TIdComponent*, TWorkMode) { events.push_back("end"); };
    }
};

// A stream that claims a size without holding the bytes, and yields none.
class TSizeOnlyStream : public TStream {
public:
    explicit TSizeOnlyStream(std::int64_t size) : FSize(size) {}
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin) override { return offset; }
    std::int64_t Size() override { return FSize; }

private:
    std::int64_t FSize;
};

} // namespace

// --- Reading lines -----------------------------------------------------------------------

TEST(IdIOHandlerReadLn, EndsLinesAtLFAndDropsOnlyTheCRRightBeforeIt)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("250 OK\r\n250 OK\n250 OK\r\r\n");
    EXPECT_EQ(io->ReadLn(), u"250 OK");
    EXPECT_EQ(io->ReadLn(), u"250 OK");
    EXPECT_EQ(io->ReadLn(), u"250 OK\r");
    EXPECT_EQ(io->ReceiveCalls, 1); // lines already buffered never touch the transport

    // An explicit CR LF terminator is a terminator like any other: nothing more drops.
    io->Receive("x\r\r\n");
    EXPECT_EQ(io->ReadLn(u"\r\n"), u"x\r");
}

TEST(IdIOHandlerReadLn, FindsLinesAndTerminatorsSplitAcrossReceives)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("25").Receive("0 OK\r\n");
    EXPECT_EQ(io->ReadLn(), u"250 OK");
    EXPECT_EQ(io->ReceiveCalls, 2);

    io->Receive("354 go\r").Receive("\n");
    EXPECT_EQ(io->ReadLn(u"\r\n"), u"354 go");
    io->Receive("a<").Receive("<>").Receive(">b<<>>");
    EXPECT_EQ(io->ReadLn(u"<<>>"), u"a");
    EXPECT_EQ(io->ReadLn(u"<<>>"), u"b");
}

TEST(IdIOHandlerReadLn, TimeOutLeavesThePartialLineAndTheHandlerOpen)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("250 O").Receive("\r\n"); // default ReadTimeout -1: waits without limit
    EXPECT_EQ(io->ReadLn(), u"250 O");
    EXPECT_EQ(io->ReadableWaits, (std::vector<std::int32_t>{IdTimeoutInfinite, IdTimeoutInfinite}));
    io->ReadableWaits.clear();

    io->SetReadTimeout(5000);
    io->Receive("250 O").Timeout();
    EXPECT_EQ(io->ReadLn(), u"");
    EXPECT_TRUE(io->ReadLnTimedout());
    EXPECT_EQ(io->ReadableWaits, (std::vector<std::int32_t>{5000, 5000}));
    EXPECT_EQ(io->InputBuffer().Size(), 5);
    EXPECT_TRUE(io->Opened());

    io->Timeout();
    EXPECT_EQ(RaisedMessage([&] { io->ReadLnWait(); }), u"Read timed out.");
    io->Receive("K\r\n");
    EXPECT_EQ(io->ReadLn(), u"250 OK");
    EXPECT_FALSE(io->ReadLnTimedout());

    // A transport that reports the socket time-out code is a time-out as well.
    io->Failure(IdTransportTimeoutCode);
    EXPECT_EQ(io->ReadLn(), u"");
    EXPECT_TRUE(io->ReadLnTimedout());
    EXPECT_TRUE(io->Opened());
}

TEST(IdIOHandlerReadLn, AnExplicitTimeOutBoundsTheWholeRead)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("no end yet");
    // With 0 ms any elapsed time is enough: the read gives up after one receive.
    EXPECT_EQ(io->ReadLn(String(1, LF), 0), u"");
    EXPECT_TRUE(io->ReadLnTimedout());
    EXPECT_EQ(io->InputBuffer().Size(), 10);
}

TEST(IdIOHandlerReadLn, LineLimitCountsTheBytesBeforeTheTerminator)
{
    auto io = MakeScriptedIOHandler();
    io->Receive(Repeat('a', 16383) + "\r\n").Receive(Repeat('b', 10000)).Receive(Repeat('b', 6384) + "\n");
    EXPECT_EQ(io->ReadLn().size(), 16383u);
    EXPECT_EQ(io->ReadLn().size(), 16384u);

    io->Receive(Repeat('c', 16384) + "\r\nnext\r\n");
    EXPECT_EQ(RaisedMessage([&] { io->ReadLn(); }), u"Max line length exceeded.");

    auto split = MakeScriptedIOHandler();
    split->SetMaxLineAction(TIdMaxLineAction::maSplit);
    split->Receive(Repeat('c', 16384) + "\r\nnext\r\n");
    EXPECT_EQ(split->ReadLn(), String(16384, u'c'));
    EXPECT_TRUE(split->ReadLnSplit());
    EXPECT_EQ(split->ReadLn(), u""); // the rest of the line: its CR LF
    EXPECT_FALSE(split->ReadLnSplit());
    EXPECT_EQ(split->ReadLn(), u"next");
}

TEST(IdIOHandlerReadLn, ALineThatNeverEndsDoesNotFillMemory)
{
    // The limit fires as soon as no terminator can end the line in time, long before
    // the peer stops sending.
    auto io = MakeScriptedIOHandler();
    for (int i = 0; i < 10; ++i)
        io->Receive(Repeat('z', 10000));
    EXPECT_THROW(io->ReadLn(), EIdReadLnMaxLineLengthExceeded);
    EXPECT_EQ(io->StepsLeft(), 8u);

    auto split = MakeScriptedIOHandler();
    split->SetMaxLineAction(TIdMaxLineAction::maSplit);
    split->SetMaxLineLength(100);
    split->Receive(Repeat('z', 250) + "\r\n");
    EXPECT_EQ(split->ReadLn().size(), 100u);
    EXPECT_EQ(split->ReadLn().size(), 100u);
    EXPECT_EQ(split->ReadLn().size(), 50u);
    EXPECT_FALSE(split->ReadLnSplit());
}

TEST(IdIOHandlerReadLn, ReadLnWaitSkipsBlankLinesAndStrips)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("\r\n\n \t \r\n  220 mail.example ESMTP \r\n");
    EXPECT_EQ(io->ReadLnWait(), u"220 mail.example ESMTP");

    io->Receive("\r\n\r\n220 late\r\n");
    EXPECT_EQ(RaisedMessage([&] { io->ReadLnWait(2); }), u"Max line read attempts exceeded.");
    EXPECT_EQ(io->ReadLnWait(1), u"220 late");
}

TEST(IdIOHandlerReadLn, PeerClosingMidReplyRaisesConnectionClosedGracefully)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("250-first line\r\n").PeerClose();
    EXPECT_EQ(io->ReadLn(), u"250-first line");
    EXPECT_EQ(RaisedMessage([&] { io->ReadLn(); }), u"Connection Closed Gracefully.");
    EXPECT_TRUE(io->ClosedGracefully());
    EXPECT_FALSE(io->Opened());
    EXPECT_THROW(io->ReadLn(), EIdSilentException);

    // A partial line does not keep the close from being reported.
    auto partial = MakeScriptedIOHandler();
    partial->Receive("250 par").PeerClose();
    EXPECT_THROW(partial->ReadLn(), EIdConnClosedGracefully);
    EXPECT_EQ(partial->InputBuffer().Size(), 7);
}

TEST(IdIOHandlerReadLn, TransportFailureClosesTheHandlerBeforeRaising)
{
    auto io = MakeScriptedIOHandler();
    io->Failure(10054);
    try {
        io->ReadLn();
        FAIL() << "nothing raised";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10054);
    }
    EXPECT_EQ(io->CloseCalls, 1);
    EXPECT_TRUE(io->ClosedGracefully());
    EXPECT_FALSE(io->Connected());

    auto unopened = MakeComponent<TScriptedIOHandler>();
    EXPECT_EQ(unopened->FillInputBuffer(false), 0);
    EXPECT_THROW(unopened->ReadLn(), EIdConnClosedGracefully);
}

TEST(IdIOHandlerReadLn, DecodesWithTheGivenOrDefaultEncoding)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("a\xE7\r\na\xE7\r\n.\r\n..x\r\n");
    EXPECT_EQ(io->ReadLn(), u"a\uFFFD");
    EXPECT_EQ(io->ReadLn(IndyTextEncoding_8Bit()), u"aç");
    bool end = false;
    EXPECT_EQ(io->ReadLnRFC(end), u".");
    EXPECT_TRUE(end);
    EXPECT_EQ(io->ReadLnRFC(end), u".x");
    EXPECT_FALSE(end);
}

// --- Reading bytes and values --------------------------------------------------------------

TEST(IdIOHandlerRead, ReadBytesWaitsForTheCountOrTakesOneReceive)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("ab").Receive("cde").Receive("123").Receive("xy").PeerClose();
    TIdBytes out{'>'};
    io->ReadBytes(out, 4);
    EXPECT_EQ(std::string(out.begin(), out.end()), ">abcd");
    io->ReadBytes(out, 1, false);
    EXPECT_EQ(std::string(out.begin(), out.end()), "e");
    io->ReadBytes(out, -1, false);
    EXPECT_EQ(std::string(out.begin(), out.end()), "123");
    EXPECT_THROW(io->ReadBytes(out, 3), EIdConnClosedGracefully);
}

TEST(IdIOHandlerRead, IntegersTravelInNetworkOrderUnlessAskedOtherwise)
{
    auto writer = MakeScriptedIOHandler();
    writer->Write(std::uint16_t{0x0102});
    writer->Write(std::int16_t{-2});
    writer->Write(std::uint32_t{0x01020304});
    writer->Write(std::int32_t{-5});
    writer->Write(std::int64_t{0x0102030405060708});
    writer->Write(std::uint32_t{0x01020304}, false);
    EXPECT_EQ(writer->Sent().substr(0, 8), std::string("\x01\x02\xFF\xFE\x01\x02\x03\x04", 8));

    auto reader = MakeScriptedIOHandler();
    reader->Receive(writer->Sent());
    EXPECT_EQ(reader->ReadWord(), 0x0102);
    EXPECT_EQ(reader->ReadSmallInt(), -2);
    EXPECT_EQ(reader->ReadLongWord(), 0x01020304u);
    EXPECT_EQ(reader->ReadLongInt(), -5);
    EXPECT_EQ(reader->ReadInt64(), 0x0102030405060708);
    EXPECT_EQ(reader->ReadLongWord(false), 0x01020304u);
}

TEST(IdIOHandlerRead, CharactersStringsAndCapturedLines)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("\xC3").Receive("\xA7!abc");
    EXPECT_EQ(io->ReadChar(IndyTextEncoding_UTF8()), u'ç');
    EXPECT_EQ(io->ReadChar(), u'!');
    EXPECT_EQ(io->ReadString(3), u"abc");

    io->Receive("line\r\n..dot\r\n.\r\nafter\r\n");
    TStringList lines;
    EXPECT_EQ(io->Capture(lines), 2);
    EXPECT_EQ(lines, (TStringList{u"line", u".dot"}));
    EXPECT_EQ(io->ReadLn(), u"after");

    io->SetMaxCapturedLines(1);
    io->Receive("1\r\n2\r\n.\r\n");
    EXPECT_THROW(io->Capture(lines), EIdException);

    auto waiting = MakeScriptedIOHandler();
    waiting->Receive("noise +O").Receive("K rest");
    EXPECT_EQ(waiting->WaitFor(u"+OK"), u"noise ");
    EXPECT_EQ(waiting->InputBufferAsString(), u" rest");
}

TEST(IdIOHandlerRead, ConnectedStaysTrueWhileBufferedBytesRemain)
{
    auto io = MakeScriptedIOHandler();
    io->Receive("221 bye\r\n").PeerClose();
    EXPECT_TRUE(io->CheckForDataOnSource(0));
    EXPECT_FALSE(io->CheckForDataOnSource(0)); // the close
    EXPECT_TRUE(io->Connected());
    EXPECT_EQ(io->ReadLn(), u"221 bye");
    EXPECT_FALSE(io->Connected());
    EXPECT_FALSE(io->CheckForDataOnSource(0));
}

TEST(IdIOHandlerRead, ReadProgressIsReportedAsBytesLeaveTheInputBuffer)
{
    auto io = MakeScriptedIOHandler();
    WorkLog log(*io);
    io->Receive("abc\r\nde\r\n");
    io->BeginWork(TWorkMode::wmRead);
    io->ReadLn();
    io->ReadLn();
    io->EndWork(TWorkMode::wmRead);
    EXPECT_EQ(log.events, (std::vector<std::string>{"begin 0", "5", "9", "end"}));
}

// --- Writing text and bytes ---------------------------------------------------------------

TEST(IdIOHandlerWrite, LinesLeaveInOnePieceInTheChosenEncoding)
{
    auto io = MakeScriptedIOHandler();
    io->WriteLn(u"EHLO host");
    io->Write(u"ç");
    io->Write(u"ç", IndyTextEncoding_8Bit());
    io->Write(u""); // nothing at all
    io->WriteLn();
    EXPECT_EQ(io->SendCalls(), (std::vector<std::string>{"EHLO host\r\n", "?", "\xE7", "\r\n"}));

    io->SetDefStringEncoding(IndyTextEncoding_UTF8());
    io->Write(u"ç");
    io->SetDefStringEncoding(nullptr); // the library default: ASCII
    io->Write(u"ç");
    EXPECT_EQ(io->Sent().substr(15), "\xC3\xA7?");
}

TEST(IdIOHandlerWrite, DotStuffingDoublesOnlyALeadingDot)
{
    auto io = MakeScriptedIOHandler();
    io->WriteLnRFC(u".hidden");
    io->WriteLnRFC(u"ends with.");
    io->WriteRFCStrings(TStringList{u"a", u".b", u""}, false);
    io->WriteRFCStrings(TStringList{u"."});
    EXPECT_EQ(io->Sent(), "..hidden\r\nends with.\r\na\r\n..b\r\n\r\n..\r\n.\r\n");
}

TEST(IdIOHandlerWrite, SendsInWhatEverPiecesTheTransportAccepts)
{
    auto io = MakeScriptedIOHandler();
    WorkLog log(*io);
    io->MaxSendChunk = 3;
    io->BeginWork(TWorkMode::wmWrite, 8);
    io->Write(TIdBytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    io->EndWork(TWorkMode::wmWrite);
    EXPECT_EQ(io->SendCalls(), (std::vector<std::string>{"abc", "def", "gh"}));
    EXPECT_EQ(log.events, (std::vector<std::string>{"begin 8", "3", "6", "8", "end"}));

    io->Write(TIdBytes{'1', '2', '3', '4'}, 2, 1);
    io->Write(TIdBytes{'1', '2'}, 5, 1); // a length past the end stops at the end
    io->Write(TIdBytes{'1'}, 1, 1);      // an offset past the end writes nothing
    EXPECT_EQ(io->Sent(), "abcdefgh232");
}

TEST(IdIOHandlerWrite, SendFailuresCloseTheHandlerExceptOnTimeOut)
{
    auto io = MakeScriptedIOHandler();
    io->SendLimit = 2;
    io->SendFailureCode = IdTransportTimeoutCode;
    EXPECT_THROW(io->WriteLn(u"QUIT"), EIdSocketError);
    EXPECT_EQ(io->CloseCalls, 0);
    EXPECT_TRUE(io->Opened());

    io->SendFailureCode = 10054;
    EXPECT_THROW(io->WriteLn(u"QUIT"), EIdSocketError);
    EXPECT_EQ(io->CloseCalls, 1);
    EXPECT_TRUE(io->ClosedGracefully());

    // A peer that accepts nothing more ends the write even while received bytes
    // are still waiting to be read.
    auto closed = MakeScriptedIOHandler();
    closed->Receive("421 bye\r\n");
    closed->CheckForDataOnSource(0);
    closed->SendLimit = 0;
    EXPECT_THROW(closed->WriteLn(u"RSET"), EIdConnClosedGracefully);
}

TEST(IdIOHandlerWrite, BufferingWithoutThresholdSendsNothingUntilClosed)
{
    auto io = MakeScriptedIOHandler();
    io->WriteBufferOpen();
    EXPECT_TRUE(io->WriteBufferingActive());
    io->WriteLn(u"MAIL FROM:<a@b>");
    io->WriteLn(u"RCPT TO:<c@d>");
    io->WriteLn(u"DATA");
    EXPECT_TRUE(io->SendCalls().empty());
    io->WriteBufferClose();
    EXPECT_FALSE(io->WriteBufferingActive());
    EXPECT_EQ(io->SendCalls(), (std::vector<std::string>{"MAIL FROM:<a@b>\r\nRCPT TO:<c@d>\r\nDATA\r\n"}));

    auto cancelled = MakeScriptedIOHandler();
    cancelled->WriteBufferOpen();
    cancelled->WriteLn(u"NOOP");
    cancelled->WriteBufferCancel();
    EXPECT_FALSE(cancelled->WriteBufferingActive());
    EXPECT_EQ(cancelled->Sent(), "");

    // Close drops what is buffered; Open starts afresh.
    cancelled->WriteBufferOpen();
    cancelled->WriteLn(u"NOOP");
    cancelled->Close();
    cancelled->Open();
    cancelled->WriteBufferFlush();
    EXPECT_EQ(cancelled->Sent(), "");
}

TEST(IdIOHandlerWrite, ThresholdFlushesWholeThresholdsInOrder)
{
    auto io = MakeScriptedIOHandler();
    io->WriteBufferOpen(10);
    for (const char* piece : {"aaaa", "bbbb", "cccc", "dddddddddddddddd"})
        io->Write(String(piece, piece + std::strlen(piece)));
    EXPECT_EQ(io->SendCalls(), (std::vector<std::string>{"aaaabbbbcc", "ccdddddddd"}));
    io->WriteBufferClose();
    EXPECT_EQ(io->SendCalls().back(), "dddddddd");
}

TEST(IdIOHandlerWrite, AFailedFlushStillEndsBuffering)
{
    auto io = MakeScriptedIOHandler();
    io->SendLimit = 0;
    io->SendFailureCode = 10054;
    io->WriteBufferOpen();
    io->WriteLn(u"DATA");
    EXPECT_THROW(io->WriteBufferClose(), EIdSocketError);
    EXPECT_FALSE(io->WriteBufferingActive());
}

TEST(IdIOHandlerWrite, StringListsGoOutAsOneBufferedBlock)
{
    auto io = MakeScriptedIOHandler();
    io->Write(TStringList{u"one", u"two"}, true);
    EXPECT_EQ(io->SendCalls(), (std::vector<std::string>{std::string("\0\0\0\x02one\r\ntwo\r\n", 14)}));
    EXPECT_FALSE(io->WriteBufferingActive());

    // Buffering opened by the caller stays open.
    io->WriteBufferOpen();
    io->Write(TStringList{u"three"});
    EXPECT_TRUE(io->WriteBufferingActive());
    io->WriteBufferClose();
    EXPECT_EQ(io->SendCalls().back(), "three\r\n");

    io->SendLimit = 0;
    io->SendFailureCode = 10054;
    EXPECT_THROW(io->Write(TStringList{u"lost"}), EIdSocketError);
    EXPECT_FALSE(io->WriteBufferingActive());
}

// --- Writing streams and files -------------------------------------------------------------

TEST(IdIOHandlerWrite, StreamSizeSelectsWhatIsSent)
{
    TMemoryStream stream(TIdBytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    auto io = MakeScriptedIOHandler();
    stream.SetPosition(4);
    io->Write(stream, -1); // from the position to the end
    stream.SetPosition(4);
    io->Write(stream, 0); // the whole stream
    stream.SetPosition(2);
    io->Write(stream, 3); // three bytes from the position
    EXPECT_EQ(io->Sent(), "4567890123456789234");

    auto counted = MakeScriptedIOHandler();
    counted->SetSendBufferSize(4);
    counted->Write(stream, 0, true);
    counted->SetLargeStream(true);
    stream.SetPosition(0);
    counted->Write(stream, 2, true);
    EXPECT_EQ(counted->SendCalls(), (std::vector<std::string>{std::string("\0\0\0\x0A", 4), "0123", "4567", "89",
                                                              std::string("\0\0\0\0\0\0\0\x02", 8), "01"}));
}

TEST(IdIOHandlerWrite, StreamsOf2GiBNeedLargeStreamAndShortStreamsRaise)
{
    auto io = MakeScriptedIOHandler();
    WorkLog log(*io);
    TSizeOnlyStream huge(std::int64_t{3} << 30);
    EXPECT_EQ(RaisedMessage([&] { io->Write(huge, 0, true); }),
              u"Set LargeStream to True to send streams greater than 2GB");
    EXPECT_EQ(io->Sent(), "");
    EXPECT_TRUE(log.events.empty());

    io->SetLargeStream(true);
    EXPECT_EQ(RaisedMessage([&] { io->Write(huge, 0, true); }), u"No data to read.");
    EXPECT_EQ(io->Sent(), std::string("\0\0\0\0\xC0\0\0\0", 8));
    EXPECT_EQ(log.events, (std::vector<std::string>{"begin 3221225472", "end"}));

    TMemoryStream small(TIdBytes{'a', 'b'});
    EXPECT_THROW(io->Write(small, 3), EIdNoDataToRead);
    EXPECT_EQ(io->Sent().substr(8), "ab");
}

TEST(IdIOHandlerWrite, WriteFileSendsTheWholeFileOrNamesTheMissingOne)
{
    const orvant::test::TTempDir dir;
    const std::filesystem::path path = dir.WriteFile("writefile.bin", "file body\r\n");
    auto io = MakeScriptedIOHandler();
    const String name = FromUtf8(path.string());
    EXPECT_EQ(io->WriteFile(name), 11);
    std::filesystem::remove(path);
    EXPECT_EQ(io->Sent(), "file body\r\n");
    try {
        io->WriteFile(name);
        FAIL() << "nothing raised";
    } catch (const EIdFileNotFound& e) {
        EXPECT_EQ(e.Message(), u"File \"" + name + u"\" not found");
    }
}

// --- Lifecycle, defaults and the registry -------------------------------------------------

TEST(IdIOHandler, DefaultsAndOpenResetState)
{
    auto io = MakeComponent<TScriptedIOHandler>();
    EXPECT_EQ(io->MaxLineLength(), 16384);
    EXPECT_EQ(io->MaxLineAction(), TIdMaxLineAction::maException);
    EXPECT_EQ(io->ReadTimeout(), -1);
    EXPECT_EQ(io->RecvBufferSize(), 32768);
    EXPECT_EQ(io->SendBufferSize(), 32768);
    EXPECT_EQ(io->MaxCapturedLines(), -1);
    EXPECT_EQ(io->DefStringEncoding(), IndyTextEncoding_ASCII());
    EXPECT_FALSE(io->Opened());
    EXPECT_FALSE(io->LargeStream());

    io->Open();
    io->Receive("x").PeerClose();
    io->CheckForDataOnSource(0);
    io->CheckForDataOnSource(0);
    EXPECT_TRUE(io->ClosedGracefully());
    io->Open();
    EXPECT_FALSE(io->ClosedGracefully());
    EXPECT_TRUE(io->InputBufferIsEmpty());
    EXPECT_TRUE(io->Opened());
}

namespace {
class TUnregisteredIOHandler : public TScriptedIOHandler {
public:
    using TScriptedIOHandler::TScriptedIOHandler;
    static String ClassName() { return u"TUnregisteredIOHandler"; }
};
} // namespace

TEST(IdIOHandler, RegistryMakesTheMostRecentDescendant)
{
    TIdIOHandler::RegisterIOHandler<TIdIOHandlerStream>();
    TIdIOHandler::RegisterIOHandler<TScriptedIOHandler>();
    EXPECT_NE(dynamic_cast<TScriptedIOHandler*>(TIdIOHandler::MakeIOHandler().get()), nullptr);
    EXPECT_NE(TIdIOHandler::MakeIOHandler<TIdIOHandlerStream>(), nullptr);
    TIdIOHandler::RegisterIOHandler<TIdIOHandlerStream>(); // again: now the most recent
    EXPECT_NE(dynamic_cast<TIdIOHandlerStream*>(TIdIOHandler::MakeIOHandler().get()), nullptr);

    auto owner = MakeComponent<TIdComponent>();
    TScriptedIOHandler& owned = TIdIOHandler::MakeIOHandler<TScriptedIOHandler>(*owner);
    EXPECT_EQ(owned.Owner(), owner.get());
    EXPECT_EQ(owned.MaxLineLength(), 16384); // made as a component: defaults ran

    EXPECT_EQ(RaisedMessage([] { TIdIOHandler::MakeIOHandler<TUnregisteredIOHandler>(); }),
              u"No IOHandler of type TUnregisteredIOHandler is installed.");
    TIdIOHandler::SetDefaultClass<TScriptedIOHandler>();
    EXPECT_NE(dynamic_cast<TScriptedIOHandler*>(&TIdIOHandler::MakeDefaultIOHandler(*owner)), nullptr);
    // Later tests of this program connect real clients: give the default back.
    TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>();
}

TEST(IdIOHandlerStream, WritesIntoAndReadsFromStreams)
{
    TMemoryStream in(TIdBytes{'o', 'n', 'e', '\r', '\n', 't', 'w', 'o'});
    TMemoryStream out;
    auto io = MakeComponent<TIdIOHandlerStream>(&in, &out);
    io->Open();
    io->WriteLn(u"Subject: x");
    io->WriteRFCStrings(TStringList{u".body"});
    EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "Subject: x\r\n..body\r\n.\r\n");
    EXPECT_EQ(io->ReadLn(), u"one");
    EXPECT_EQ(io->AllData(), u"two");
    EXPECT_FALSE(io->Connected());

    auto sink = MakeComponent<TIdIOHandlerStream>();
    sink->Open();
    sink->WriteLn(u"dropped"); // no send stream: bytes go nowhere, without error
    EXPECT_THROW(sink->ReadLn(), EIdConnClosedGracefully);
}

TEST(IdIOHandlerStreamMsg, ReadsAMessageFileAsIfItWereSentAfterDATA)
{
    for (const auto& [file, lines] : std::vector<std::pair<std::string, TStringList>>{
             {"a\r\n.b\r\n", TStringList{u"a", u"..b", u"."}},
             {"a\r\n.", TStringList{u"a", u"..", u"."}}, // a last line without its end
             {"a\r", TStringList{u"a", u"."}},
             {"", TStringList{u"", u"."}},
         }) {
        TMemoryStream in(TIdBytes(file.begin(), file.end()));
        auto io = MakeComponent<TIdIOHandlerStreamMsg>(&in);
        io->SetEscapeLines(true);
        io->SetRecvBufferSize(2);
        io->Open();
        TStringList read;
        bool end = false;
        while (!end) {
            read.Add(io->ReadLn());
            end = read[read.Count() - 1] == u"." && io->InputBufferIsEmpty();
        }
        EXPECT_EQ(read, lines) << file;
        EXPECT_THROW(io->ReadLn(), EIdConnClosedGracefully);
    }

    TMemoryStream out;
    auto writer = MakeComponent<TIdIOHandlerStreamMsg>(nullptr, &out);
    writer->SetUnescapeLines(true);
    writer->Open();
    writer->WriteLn(u"..b");
    writer->WriteLn(u".c");
    EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), ".b\r\n.c\r\n");
}
