// The send history file: RFC 4180 fields (checked against Python's csv module),
// lines only ever appended after one header, and which earlier send counts as the
// month already delivered to an address.

#include "app/SendHistory.h"

#include "support/ExternalProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(HistoryMonth(u"Março"), u"03");
}
