// Provider size limits against the test server advertising SIZE: a month over the
// limit goes as 7-Zip volumes, one message each, every message within the limit,
// and the volumes joined by 7-Zip give back every XML file byte for byte; under the
// limit one message goes exactly as before.

#include "app/ExtractionRun.h"
#include "app/MailDispatch.h"
#include "app/SendHistory.h"
#include "app/VolumeSplit.h"

#include "mime/IdGlobal.h"
#include "platform/Process.h"
#include "support/DispatchAccount.h"
#include "support/StoreFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace orvant::app;
using orvant::platform::FindProgramInPath;
using orvant::platform::TSpawnProcessRunner;
using orvant::test::ReadFile;
using orvant::test::TStoreFixture;

namespace {

const std::u16string kArchive = u"C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z";
const std::string kMonth = "c/Kelmora/Orvant/Arquivos/2026/03";

struct TRecordingView final : IMailDispatchView {
    std::vector<std::u16string> Messages;
    std::vector<std::pair<int, int>> Parts;
    void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
    void ShowProgress(std::uint64_t, std::uint64_t) override {}
    void CloseDialog() override {}
    void ShowPart(int part, int parts) override { Parts.emplace_back(part, parts); }
};

// A month of invoices that 7-Zip cannot shrink much (random digits) on two
// terminals' shares, extracted as "Extrair XML" does: staged, packed and sealed.
struct TPackedMonth {
    TPackedMonth()
    {
        Store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01", "PDV2=TRUE", "PDV2_COMPUTADOR=CAIXA02"});
        std::mt19937 random(2026);
        for (const char* folder : {"CAIXA01/Kelmora/PDV/NFCE/Transmitidas", "CAIXA01/Kelmora/PDV/NFCE/Canceladas",
                                   "CAIXA02/Kelmora/PDV/NFCE/Transmitidas"}) {
            for (int i = 1; i <= 20; ++i) {
                std::string body = "<?xml version=\"1.0\"?><nfe>";
                for (int j = 0; j < 4000; ++j)
                    body += static_cast<char>('0' + random() % 10);
                Store.Dir.WriteFile("unc/" + std::string(folder) + "/202603/" + std::to_string(i) + ".xml",
                                    body + "</nfe>");
            }
        }
        const orvant::platform::TWinFileSystem fs(Store.Roots());
        TSpawnProcessRunner runner;
        TArchiveStep step(fs, runner);
        TArchiveCheck check(fs, runner, step.Archiver());
        struct : IExtractionView {
            void SetExtractButton(bool, std::u16string_view) override {}
            void SetProgressRange(int) override {}
            void SetProgressPosition(int) override {}
            void ShowMessage(std::u16string_view) override {}
            void OpenSendDialog(std::u16string_view) override {}
            void ShowMonthReport(const TMonthReport&, std::u16string_view) override {}
        } view;
        TExtractionRun run(view, fs, step);
        run.SetArchiveCheck(check, nullptr);
        EXPECT_TRUE(run.Execute(u"2026", u"Março").Check.Passed());
    }
    std::filesystem::path Archive() const { return Store.DriveC() / "Kelmora/Orvant/Enviar/2026/03.7z"; }

    TStoreFixture Store;
};

TMailDispatchInput Input(std::u16string recipient = u"contador@example.com")
{
    return {u"Março", u"2026", u"Loja Centro", std::move(recipient), kArchive};
}

// Per stored message: its subject, the name of its attachment and the text part's
// last line; the attachment's bytes go to `folder`.
std::vector<std::string> Unpack(const TSmtpStoredMessage& message, const std::filesystem::path& folder)
{
    const TProgramResult read = RunPython(R"(
import sys, email, email.policy
msg = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
text = msg.get_body(preferencelist=('plain',)).get_content().strip().splitlines()
for a in msg.iter_attachments():
    open(")" + folder.string() + R"(/" + a.get_filename(), "wb").write(a.get_content())
    print(msg["Subject"]); print(a.get_filename()); print(text[-1])
)",
                                          message.Content());
    std::vector<std::string> lines;
    std::istringstream in(read.Output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(SizeLimit, TheServersSizeAndTheConfiguredLimit)
{
    TStringList capabilities;
    EXPECT_EQ(ServerSizeLimit(capabilities), 0u);
    for (const auto& [line, limit] : std::vector<std::pair<String, std::uint64_t>> {
             {u"SIZE 10240000", 10240000}, {u"size 35882577", 35882577}, {u"SIZE", 0}, {u"SIZE 0", 0},
             {u"SIZEX 5", 0}, {u"SIZE many", 0}}) {
        TStringList list;
        list.Add(u"PIPELINING");
        list.Add(line);
        EXPECT_EQ(ServerSizeLimit(list), limit) << ToUtf8(line);
    }
    EXPECT_EQ(EffectiveSizeLimit(0, 0), 0u);
    EXPECT_EQ(EffectiveSizeLimit(0, 500), 500u);
    EXPECT_EQ(EffectiveSizeLimit(400, 500), 400u);
    EXPECT_EQ(EffectiveSizeLimit(600, 0), 600u);
    EXPECT_EQ(VolumeSizeFor(10000, 8000), 0u) << "no room left for a volume";
}

TEST(SizeLimit, AMonthOverTheLimitGoesInVolumesThatJoinToEveryFile)
{
    constexpr std::uint64_t kLimit = 40 * 1024;
    TPackedMonth month;
    const std::string archiveBytes = ReadFile(month.Archive());
    ASSERT_GT(archiveBytes.size(), 2 * kLimit);
    TSmtpTestServer server(WithDispatchAccount({.Size = kLimit}));
    TRecordingView view;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server, month.Store.Roots())),
                           month.Store.Roots());
    const TSendHistory history = TSendHistory::ForDeployment(month.Store.Roots());
    dispatch.SetHistory(&history);
    ASSERT_EQ(dispatch.Send(Input()), TMailDispatchResult::mdDelivered)
        << ToUtf8(view.Messages.empty() ? u"" : view.Messages.back());

    const auto messages = server.Messages();
    const int parts = static_cast<int>(messages.size());
    ASSERT_GE(parts, 3);
    EXPECT_EQ(view.Messages, std::vector<std::u16string> {u"E-mail enviado para contador@example.com."});
    ASSERT_EQ(view.Parts.size(), messages.size());
    ASSERT_EQ(dispatch.MessageSizes().size(), messages.size());
    orvant::test::TTempDir received;
    for (int k = 1; k <= parts; ++k) {
        const auto& message = messages[static_cast<std::size_t>(k - 1)];
        EXPECT_EQ(view.Parts[static_cast<std::size_t>(k - 1)], std::make_pair(k, parts));
        EXPECT_LE(message.Content().size(), kLimit);
        EXPECT_LE(message.Content().size(), dispatch.MessageSizes()[static_cast<std::size_t>(k - 1)]);
        const auto seen = Unpack(message, received.Path());
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[0], "Loja Centro - XML - Março de 2026 (parte " + std::to_string(k) + " de "
                               + std::to_string(parts) + ")");
        EXPECT_EQ(seen[1], VolumeName("03.7z", k));
        EXPECT_EQ(seen[2], "Para juntar: salve os anexos das " + std::to_string(parts)
                               + " mensagens na mesma pasta e abra o 03.7z.001 com o 7-Zip (na linha de comando: "
                                 "7z x 03.7z.001).");
    }

    TSpawnProcessRunner runner;
    const auto joined = runner.Run(FindProgramInPath("7zz").value_or("7zz"),
                                   {"x", "-o" + (received.Path() / "out").string(), (received.Path() / "03.7z.001").string()});
    ASSERT_TRUE(joined.Succeeded()) << joined.Output;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(month.Store.Dir.Path() / kMonth)) {
        if (!entry.is_regular_file())
            continue;
        const auto relative = std::filesystem::relative(entry.path(), month.Store.Dir.Path() / kMonth);
        EXPECT_EQ(ReadFile(received.Path() / "out" / relative), ReadFile(entry.path())) << relative;
        ++files;
    }
    EXPECT_EQ(files, 60);

    // One history line for the attempt, with every part's reply.
    const auto entries = history.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Result, kResultDelivered);
    EXPECT_EQ(entries[0].ReplyCode, u"250");
    EXPECT_NE(entries[0].ReplyText.find(Format(u"parte %d: 250", {std::int64_t {parts}})), std::u16string::npos);
    EXPECT_EQ(entries[0].Size, IntToStr(static_cast<std::int64_t>(archiveBytes.size())));
    EXPECT_EQ(entries[0].FilesPerTerminal, u"PDV1=20/20;PDV2=20/0");
}

TEST(SizeLimit, UnderTheLimitOneMessageAsBefore)
{
    TPackedMonth month;
    TSmtpTestServer server(WithDispatchAccount({.Size = 10 * 1024 * 1024}));
    TRecordingView view;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server, month.Store.Roots())),
                           month.Store.Roots());
    const TSendHistory history = TSendHistory::ForDeployment(month.Store.Roots());
    dispatch.SetHistory(&history);
    ASSERT_EQ(dispatch.Send(Input(u"\"Silva, Contábil\" <contador@example.com>")), TMailDispatchResult::mdDelivered);

    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(view.Parts.empty());
    orvant::test::TTempDir received;
    const auto seen = Unpack(messages[0], received.Path());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "Loja Centro - XML - Março de 2026");
    EXPECT_EQ(seen[1], "03.7z");
    EXPECT_EQ(seen[2], "Segue em anexo os arquivos referentes");
    EXPECT_EQ(ReadFile(received.Path() / "03.7z"), ReadFile(month.Archive()));
    EXPECT_FALSE(std::filesystem::exists(VolumeName(month.Archive().string(), 1)));
    // The size was measured before MAIL, and exactly: the stored message and the
    // final "." line.
    ASSERT_EQ(dispatch.MessageSizes().size(), 1u);
    EXPECT_EQ(dispatch.MessageSizes()[0], messages[0].Content().size() + 3);

    // The server's final reply reaches the history; a recipient with a comma
    // stays one field.
    ASSERT_EQ(dispatch.Replies().size(), 1u);
    const auto entries = history.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Recipient, u"\"Silva, Contábil\" <contador@example.com>");
    EXPECT_EQ(entries[0].ReplyCode, dispatch.Replies()[0].Code);
    EXPECT_EQ(entries[0].EnhancedCode, dispatch.Replies()[0].EnhancedCode);
    EXPECT_EQ(entries[0].ReplyText, dispatch.Replies()[0].Text);
    EXPECT_EQ(entries[0].ReplyCode, u"250");
    EXPECT_FALSE(entries[0].ReplyText.empty());
    EXPECT_EQ(entries[0].Month, u"03");
}
