// The send history file: RFC 4180 fields (checked against Python's csv module),
// lines only ever appended after one header, and which earlier send counts as the
// month already delivered to an address. Each record one physical line (a torn
// line costs itself alone; older multi-line records still read), reading a line at
// a time, and the send as one transaction under the history's lock: the check, the
// delivery and the record, and a history that cannot be written after a delivery.

#include "app/SendHistory.h"

#include "app/ConsoleView.h"
#include "app/MailDispatch.h"
#include "platform/Utf.h"
#include "support/DispatchAccount.h"
#include "support/ExternalProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <istream>
#include <sstream>
#include <streambuf>

using namespace orvant::app;
using orvant::test::ReadFile;
using orvant::test::TTempDir;

namespace {

THistoryEntry Entry(std::u16string recipient, std::u16string month, std::u16string event, std::u16string result,
                    std::u16string when = u"2026-04-01 06:00:12")
{
    THistoryEntry e;
    e.DateTime = std::move(when);
    e.Year = u"2026";
    e.Month = std::move(month);
    e.Event = std::move(event);
    e.Recipient = std::move(recipient);
    e.Archive = u"C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z";
    e.Result = std::move(result);
    return e;
}

} // namespace

TEST(SendHistory, FieldsAreQuotedAsRfc4180AndReadBackTheSame)
{
    const std::vector<std::u16string> fields = {
        u"\"Silva, Contábil\" <contador@example.com>", u"plain", u"", u"say \"hi\"", u"two\r\nlines", u"lf\nonly",
        u"a,b"};
    const std::string record = CsvRecord(fields);
    EXPECT_EQ(record, "\"\"\"Silva, Contábil\"\" <contador@example.com>\",plain,,\"say \"\"hi\"\"\",\"two\r\nlines\","
                      "\"lf\nonly\",\"a,b\"\r\n");
    const auto parsed = ParseCsv(record + record);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0], fields);
    EXPECT_EQ(parsed[1], fields);

    // An independent reader sees the same seven fields.
    const TProgramResult python = RunPython(
        "import csv, io, sys\n"
        "rows = list(csv.reader(io.StringIO(sys.stdin.buffer.read().decode('utf-8'), newline='')))\n"
        "print(len(rows), len(rows[0]), rows[0][0] == '\"Silva, Contábil\" <contador@example.com>', "
        "rows[0][4] == 'two\\r\\nlines')\n",
        record);
    EXPECT_EQ(python.Output, "1 7 True True\n");
}

TEST(SendHistory, AppendsAfterOneHeaderAndNeverRewrites)
{
    TTempDir dir;
    const TSendHistory history((dir.Path() / "Enviar/historico.csv").string());
    EXPECT_TRUE(history.Entries().empty());
    history.Append(Entry(u"\"Silva, Contábil\" <contador@example.com>", u"03", std::u16string(kEventSend), u"entregue"));
    const std::string first = ReadFile(history.Path());
    EXPECT_EQ(first.rfind("data_hora,ano,mes,evento,destinatario,arquivo,tamanho,sha256,arquivos_por_pdv,codigo,"
                          "codigo_estendido,resposta,resultado,manifesto,sha256_manifesto,situacao\r\n", 0), 0u);
    THistoryEntry refused = Entry(u"outro@example.com", u"04", std::u16string(kEventSend), u"falhou: 552 too big");
    refused.ReplyText = u"message too big\r\nfor this server";
    history.Append(refused);
    history.Append(Entry(u"x@example.com", u"04", std::u16string(kEventCheck), u"divergência: a, b"));

    const std::string all = ReadFile(history.Path());
    EXPECT_EQ(all.substr(0, first.size()), first);
    const auto entries = history.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Recipient, u"\"Silva, Contábil\" <contador@example.com>");
    EXPECT_EQ(entries[0].Archive, u"C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z");
    EXPECT_EQ(entries[1].Result, u"falhou: 552 too big");
    EXPECT_EQ(entries[2].Result, u"divergência: a, b");

    EXPECT_EQ(entries[1].ReplyText, u"message too big\r\nfor this server");
    // A reply of two lines stays on its row of the table.
    const std::string table = HistoryTable(entries);
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);
}

TEST(SendHistory, OnlyADeliveredSendOfThatMonthToThatAddressCountsAsPrevious)
{
    TTempDir dir;
    const TSendHistory history((dir.Path() / "historico.csv").string());
    const std::u16string send(kEventSend), check(kEventCheck);
    history.Append(Entry(u"contador@example.com", u"03", send, u"falhou: 535", u"2026-04-01 06:00:00"));
    history.Append(Entry(u"contador@example.com", u"03", check, u"entregue", u"2026-04-01 06:00:01"));
    history.Append(Entry(u"contador@example.com", u"02", send, u"entregue", u"2026-03-01 06:00:00"));
    // An incomplete month that went by the user's choice does not stand in the way of the whole one.
    THistoryEntry partial = Entry(u"contador@example.com", u"03", send, u"entregue", u"2026-04-01 06:00:02");
    partial.State = u"conferido, incompleto: 1 problema(s), 547 arquivos";
    history.Append(partial);
    EXPECT_FALSE(history.PreviousDelivery(u"2026", u"03", u"contador@example.com"));

    history.Append(Entry(u"Contador <Contador@Example.com>", u"03", send, u"entregue", u"2026-04-02 09:30:00"));
    history.Append(Entry(u"contador@example.com", u"03", send, u"entregue", u"2026-04-03 10:00:00"));
    const auto previous = history.PreviousDelivery(u"2026", u"03", u"\"Escritório, Silva\" <CONTADOR@example.com>");
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous->DateTime, u"2026-04-03 10:00:00") << "the latest one";
    EXPECT_EQ(ResendQuestion(*previous),
              u"Este mês já foi enviado para contador@example.com em 2026-04-03 10:00:00. Enviar novamente?");
    EXPECT_FALSE(history.PreviousDelivery(u"2026", u"03", u"outro@example.com"));
    EXPECT_FALSE(history.PreviousDelivery(u"2025", u"03", u"contador@example.com"));
    // A month that went to several addresses went to each of them.
    history.Append(Entry(u"fiscal@example.com; Outro <outro@example.com>", u"04", send, u"entregue", u"2026-05-01 06:00:00"));
    EXPECT_TRUE(history.PreviousDelivery(u"2026", u"04", u"novo@example.com, OUTRO@example.com"));
    EXPECT_FALSE(history.PreviousDelivery(u"2026", u"04", u"novo@example.com"));
    EXPECT_EQ(HistoryMonth(u"Março"), u"03");
}

namespace {

THistoryEntry Delivered(std::u16string recipient, std::u16string when)
{
    THistoryEntry e = Entry(std::move(recipient), u"03", std::u16string(kEventSend), u"entregue", std::move(when));
    e.State = u"conferido, completo: 764 arquivos";
    return e;
}

void AppendText(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

} // namespace

TEST(SendHistory, EachRecordIsOnePhysicalLineAndReadsBackTheSame)
{
    THistoryEntry e = Entry(u"\"Silva, Contábil\" <contador@example.com>", u"03", std::u16string(kEventSend),
                            u"falhou: 552 too big");
    e.ReplyText = u"message too big\r\nfor this server\nat 100%25 %0A";
    const std::string line = HistoryLine(e.Fields());
    EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << line;
    EXPECT_NE(line.find("message too big%0D%0Afor this server%0Aat 100%2525 %250A"), std::string::npos) << line;
    std::istringstream text(line + line);
    std::vector<THistoryEntry> read;
    EXPECT_EQ(ReadHistory(text, [&](THistoryEntry&& r) { read.push_back(std::move(r)); }), 0u);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].Fields(), e.Fields());
    EXPECT_EQ(UnescapeHistoryField(u"100% a %zz %0"), u"100% a %zz %0") << "other '%' stay as they are";

    // Python's csv sees one row of sixteen fields, the recipient whole.
    const TProgramResult python = RunPython(
        "import csv, io, sys\n"
        "rows = list(csv.reader(io.StringIO(sys.stdin.buffer.read().decode('utf-8'), newline='')))\n"
        "print(len(rows), len(rows[0]), rows[0][4] == '\"Silva, Contábil\" <contador@example.com>')\n",
        line);
    EXPECT_EQ(python.Output, "1 16 True\n");
}

// An older version's file (its shorter header, a reply over two lines inside quotes),
// then a line torn by a crash (an open quote), then whole lines: only the torn line
// is lost, the delivery after it still counts, and the next line starts afresh.
TEST(SendHistory, ATornLineCostsItselfAloneAndOldMultiLineRecordsStillRead)
{
    TTempDir dir;
    const TSendHistory history((dir.Path() / "historico.csv").string());
    std::vector<std::u16string> oldHeader = {u"data_hora", u"ano", u"mes", u"evento", u"destinatario", u"arquivo",
                                             u"tamanho", u"sha256", u"arquivos_por_pdv", u"codigo",
                                             u"codigo_estendido", u"resposta", u"resultado"};
    THistoryEntry old = Entry(u"outro@example.com", u"02", std::u16string(kEventSend), u"falhou: 552");
    old.ReplyText = u"message too big\r\nfor this server";
    auto oldFields = old.Fields();
    oldFields.resize(13);
    AppendText(history.Path(), CsvRecord(oldHeader) + CsvRecord(oldFields)
                                   + "2026-04-01 05:00:00,2026,03,envio,\"Contador <contador@exa\r\n");
    history.Append(Delivered(u"contador@example.com", u"2026-04-01 06:00:00"));
    AppendText(history.Path(), "2026-04-02 07:00:00,2026,03,envio,\"terceiro@exam"); // torn at the end
    history.Append(Delivered(u"terceiro@example.com", u"2026-04-02 08:00:00"));
    AppendText(history.Path(), "garbage without any quote\r\n2026-04-03 0");

    std::vector<THistoryEntry> entries;
    const std::size_t skipped = history.ForEachEntry([&](THistoryEntry&& e) { entries.push_back(std::move(e)); });
    EXPECT_EQ(skipped, 4u);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].ReplyText, u"message too big\r\nfor this server");
    EXPECT_EQ(entries[0].Result, u"falhou: 552");
    EXPECT_EQ(entries[1].Recipient, u"contador@example.com");
    EXPECT_EQ(entries[2].Recipient, u"terceiro@example.com");
    const auto previous = history.PreviousDelivery(u"2026", u"03", u"terceiro@example.com");
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous->DateTime, u"2026-04-02 08:00:00");
    EXPECT_TRUE(history.PreviousDelivery(u"2026", u"03", u"contador@example.com"));

    // The last line was torn short: the next one begins a line of its own.
    history.Append(Delivered(u"quarto@example.com", u"2026-04-04 08:00:00"));
    EXPECT_TRUE(history.PreviousDelivery(u"2026", u"03", u"quarto@example.com"));
    EXPECT_NE(ReadFile(history.Path()).find("2026-04-03 0\r\n2026-04-04 08:00:00,"), std::string::npos);
}

namespace {

// Text made as it is read: `count` history lines with a line of garbage of
// `garbage` bytes (an open quote, no line break) after the first ten.
class TGeneratedHistory final : public std::streambuf {
public:
    TGeneratedHistory(std::string line, std::size_t count, std::size_t garbage)
        : FLine(std::move(line)), FCount(count), FGarbage(garbage) {}

    std::uint64_t Produced = 0;

protected:
    int_type underflow() override
    {
        if (FLine.empty())
            return traits_type::eof();
        FChunk.clear();
        if (FDone == 10 && FGarbage) {
            FChunk = "\"" + std::string(std::min<std::size_t>(FGarbage, 65536), 'x');
            FGarbage -= std::min<std::size_t>(FGarbage, 65536);
            if (FGarbage == 0)
                FChunk += "\r\n";
        } else if (FDone < FCount) {
            FChunk = FLine;
            ++FDone;
        } else {
            return traits_type::eof();
        }
        Produced += FChunk.size();
        setg(FChunk.data(), FChunk.data(), FChunk.data() + FChunk.size());
        return traits_type::to_int_type(FChunk.front());
    }

private:
    std::string FLine;
    std::size_t FCount;
    std::size_t FGarbage;
    std::size_t FDone = 0;
    std::string FChunk;
};

} // namespace

// Memory does not grow with the file: the first entry arrives while only the first
// block has been read, and a line of garbage longer than any line is read through.
TEST(SendHistory, ReadingIsStreamedAndAnOverlongLineIsSkipped)
{
    const std::string line = HistoryLine(Delivered(u"contador@example.com", u"2026-04-01 06:00:00").Fields());
    TGeneratedHistory generated(line, 20000, kMaxHistoryLine + 300000);
    std::istream text(&generated);
    std::size_t visited = 0;
    std::uint64_t producedAtFirst = 0;
    const std::size_t skipped = ReadHistory(text, [&](THistoryEntry&& e) {
        if (visited++ == 0)
            producedAtFirst = generated.Produced;
        EXPECT_EQ(e.Recipient, u"contador@example.com");
    });
    EXPECT_EQ(visited, 20000u);
    EXPECT_EQ(skipped, 1u) << "the line of garbage";
    EXPECT_LE(producedAtFirst, 2u * 65536u);
    EXPECT_GT(generated.Produced, 20000u * line.size());
}

namespace {

struct TTransactionView final : IMailDispatchView {
    const TSendHistory* History = nullptr;
    std::vector<std::u16string> Messages;
    std::vector<std::u16string> Waiting;
    std::vector<std::u16string> Asked;
    bool Answer = false;
    bool LockedWhileAsked = false;
    int Closed = 0;

    void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
    void ShowProgress(std::uint64_t, std::uint64_t) override {}
    void CloseDialog() override { ++Closed; }
    void ShowWaiting(std::u16string_view text) override { Waiting.emplace_back(text); }
    bool ConfirmResend(const THistoryEntry& previous) override
    {
        Asked.push_back(previous.DateTime);
        int error = 0;
        LockedWhileAsked = LockedWhileAsked || !History->Lock(std::chrono::milliseconds::zero(), error);
        return Answer;
    }
};

TMailDispatchInput MarchInput(std::u16string recipient)
{
    return {u"Março", u"2026", u"Loja Centro", std::move(recipient), {}, true};
}

bool Contains(const std::u16string& text, std::u16string_view part)
{
    return text.find(part) != std::u16string::npos;
}

} // namespace

// Another send holds the history: this one waits, bounded, says so and sends
// nothing; a lock file that cannot be made refuses before connecting.
TEST(SendHistory, ASendWaitsForTheHistorysLockAndGivesUpWithAReason)
{
    TSmtpTestServer server(WithDispatchAccount());
    TTempDir dir;
    const TSendHistory history((dir.Path() / "Enviar/historico.csv").string());
    TTransactionView view;
    view.History = &history;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
    dispatch.SetHistory(&history);
    dispatch.SetHistoryLockWait(std::chrono::seconds(1));
    {
        int error = 0;
        const auto held = history.Lock(std::chrono::milliseconds::zero(), error);
        ASSERT_TRUE(held) << error;
        EXPECT_EQ(dispatch.Send(MarchInput(u"contador@example.com")), TMailDispatchResult::mdRefused);
    }
    ASSERT_EQ(view.Waiting.size(), 1u);
    EXPECT_TRUE(Contains(view.Waiting[0], u"aguardando")) << orvant::platform::Utf16ToUtf8(view.Waiting[0]);
    ASSERT_EQ(view.Messages.size(), 1u);
    EXPECT_TRUE(Contains(view.Messages[0], u"continua bloqueado por outro envio depois de 1 segundo de espera"))
        << orvant::platform::Utf16ToUtf8(view.Messages[0]);
    EXPECT_TRUE(Contains(view.Messages[0], u"historico.csv.lock"));
    EXPECT_TRUE(server.Messages().empty());
    EXPECT_TRUE(history.Entries().empty());

    // Where a file stands in the way of the lock file's folder.
    const TSendHistory blocked((dir.Path() / "a-file/historico.csv").string());
    AppendText((dir.Path() / "a-file").string(), "x");
    dispatch.SetHistory(&blocked);
    EXPECT_EQ(dispatch.Send(MarchInput(u"contador@example.com")), TMailDispatchResult::mdRefused);
    ASSERT_EQ(view.Messages.size(), 2u);
    EXPECT_TRUE(Contains(view.Messages[1], u"Não foi possível bloquear o histórico de envios"));
    EXPECT_TRUE(server.Messages().empty());
}

// The month already delivered to the address: the view is asked without the lock
// held, and the check is made again under it; "no" sends nothing, "yes" sends and
// records. A history that is a folder is found unwritable after the delivery.
TEST(SendHistory, TheDuplicateCheckAsksOutsideTheLockAndAnUnwritableHistoryIsReported)
{
    TSmtpTestServer server(WithDispatchAccount());
    TTempDir dir;
    const TSendHistory history((dir.Path() / "historico.csv").string());
    history.Append(Delivered(u"contador@example.com", u"2026-04-01 06:00:00"));
    TTransactionView view;
    view.History = &history;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
    dispatch.SetHistory(&history);

    EXPECT_EQ(dispatch.Send(MarchInput(u"Contador <CONTADOR@example.com>")), TMailDispatchResult::mdRefused);
    EXPECT_EQ(view.Asked, std::vector<std::u16string> {u"2026-04-01 06:00:00"});
    EXPECT_TRUE(server.Messages().empty());
    view.Answer = true;
    EXPECT_EQ(dispatch.Send(MarchInput(u"contador@example.com")), TMailDispatchResult::mdDelivered);
    EXPECT_EQ(view.Asked.size(), 2u) << "asked once, and not again for the same delivery under the lock";
    EXPECT_FALSE(view.LockedWhileAsked);
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(history.Entries().size(), 2u);

    const TSendHistory folder((dir.Path() / "pasta.csv").string());
    std::filesystem::create_directory(folder.Path());
    dispatch.SetHistory(&folder);
    view.Messages.clear();
    EXPECT_EQ(dispatch.Send(MarchInput(u"contador@example.com")), TMailDispatchResult::mdDeliveredNotRecorded);
    EXPECT_EQ(server.Messages().size(), 2u);
    EXPECT_EQ(view.Closed, 2) << "it was delivered";
    ASSERT_EQ(view.Messages.size(), 2u);
    EXPECT_EQ(view.Messages[0], u"E-mail enviado para contador@example.com, sem anexo.");
    EXPECT_TRUE(view.Messages[1].starts_with(
        u"O e-mail foi entregue, mas o histórico não pôde ser gravado: " + orvant::platform::Utf8ToUtf16(folder.Path())))
        << orvant::platform::Utf16ToUtf8(view.Messages[1]);
}
