#include "app/MailDispatch.h"

#include "app/ArchiveCheck.h"
#include "app/FileDigest.h"
#include "app/FileErrorText.h"
#include "app/MailFailureReason.h"
#include "app/MonthReportFiles.h"
#include "app/PeriodSelection.h"
#include "app/RecipientList.h"
#include "app/SendHistory.h"
#include "app/TerminalConfig.h"
#include "app/VolumeSplit.h"

#include "mail/IdAttachmentFile.h"
#include "mail/IdEMailAddress.h"
#include "mail/IdMessage.h"
#include "mail/IdText.h"
#include "net/IdSSLIOHandlerSocketOpenSSL.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "platform/NativePath.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSMTP.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace orvant::app {

namespace {

String JoinedLines(const TStrings& lines)
{
    String text;
    for (std::int32_t i = 0; i < lines.Count(); ++i)
        text += (i ? u" " : u"") + Trim(lines[i]);
    return text;
}

// The reply a refusal carried; nothing for other failures.
std::optional<TMailReply> RefusalReply(const std::exception& error)
{
    const auto* reply = dynamic_cast<const EIdReplyRFCError*>(&error);
    if (!reply)
        return std::nullopt;
    TMailReply refusal {IntToStr(reply->ErrorCode()), {}, Trim(StringReplaceAll(reply->Message(), EOL, u" "))};
    if (const auto* smtp = dynamic_cast<const EIdSMTPReplyError*>(&error))
        refusal.EnhancedCode = smtp->EnhancedCode().ReplyAsStr();
    return refusal;
}

enum class TPhase { phPreparing, phConnecting, phLoggingIn, phDelivering };

std::u16string FailureMessage(TPhase phase, const std::u16string& reason, const TMailSettings& settings)
{
    std::u16string what;
    switch (phase) {
    case TPhase::phPreparing:
        what = u"Não foi possível preparar o e-mail.";
        break;
    case TPhase::phConnecting:
        what = Format(u"Não foi possível conectar ao servidor de e-mail %s, porta %d.",
                      {settings.Host, std::int64_t {settings.Port}});
        break;
    case TPhase::phLoggingIn:
        what = Format(u"O login da conta %s no servidor de e-mail %s falhou.", {settings.Mailbox, settings.Host});
        break;
    case TPhase::phDelivering:
        what = Format(u"Não foi possível entregar o e-mail ao servidor de e-mail %s.", {settings.Host});
        break;
    }
    return what + u"\n" + reason + u"\nO e-mail não foi enviado.";
}

// "10 minutos", "2 segundos".
std::u16string WaitText(std::chrono::milliseconds wait)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait).count();
    if (seconds >= 60 && seconds % 60 == 0)
        return IntToStr(seconds / 60) + (seconds == 60 ? u" minuto" : u" minutos");
    return IntToStr(seconds) + (seconds == 1 ? u" segundo" : u" segundos");
}

} // namespace

TMailSettings TMailSettings::FromDeployment(const platform::TDeploymentConfig& deployment)
{
    TMailSettings settings;
    settings.Host = deployment.MailHost;
    settings.Port = deployment.MailPort;
    settings.Mailbox = deployment.Mailbox;
    settings.Password = deployment.Password;
    settings.CAFile = deployment.CAFile;
    settings.ConfigPath = deployment.SourcePath;
    settings.MaxMessageSize = deployment.MaxMessageSize.value_or(kDefaultMaxMessageSize);
    settings.AttachReportCsv = deployment.AttachReportCsv;
    return settings;
}

std::u16string MailSubject(const TMailDispatchInput& input)
{
    return input.StoreName + u" - XML - " + input.MonthEditText + u" de " + input.YearEditText;
}

bool HasControlCharacter(std::u16string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); });
}

std::optional<std::string> AttachmentFile(std::u16string_view path, const platform::TWinPathMapper& mapper)
{
    const std::optional<std::string> file =
        !path.empty() && path.front() == u'/' ? platform::Utf16ToUtf8(path) : mapper.Map(path);
    std::error_code error;
    if (!file || !std::filesystem::is_regular_file(platform::NativePath(*file), error))
        return std::nullopt;
    return file;
}

std::uint64_t RoughMessageSize(std::uint64_t attachmentBytes)
{
    // Header block, preamble, text part and part headers, with room for long
    // names; the exact figure depends on the store name and the addresses.
    constexpr std::uint64_t kOverhead = 1024;
    const std::uint64_t base64 = (attachmentBytes + 2) / 3 * 4;
    return kOverhead + base64 + (base64 + 75) / 76 * 2;
}

TMailDispatch::TMailDispatch(IMailDispatchView& view, TMailSettings settings, platform::TWinPathRoots roots)
    : FView(view), FSettings(std::move(settings)), FRoots(roots), FMapper(std::move(roots))
{
    MakeComponents();
}

TMailDispatch::~TMailDispatch()
{
    FIdMessage.reset();
    FIdSSLIOHandlerSocket.reset();
    FIdSMTP.reset();
}

void TMailDispatch::MakeComponents()
{
    FIdSSLIOHandlerSocket = MakeComponent<TIdSSLIOHandlerSocketOpenSSL>();
    FIdSSLIOHandlerSocket->SetMaxLineAction(TIdMaxLineAction::maException);
    FIdSSLIOHandlerSocket->SetPort(0);
    FIdSSLIOHandlerSocket->SetDefaultPort(0);
    FIdSSLIOHandlerSocket->SSLOptions().SetMode(TIdSSLMode::sslmUnassigned);
    FIdSSLIOHandlerSocket->SSLOptions().SetVerifyMode({});
    FIdSSLIOHandlerSocket->SSLOptions().SetVerifyDepth(0);

    MakeMessage();
    FIdSMTP = MakeComponent<TIdSMTP>();
}

void TMailDispatch::MakeMessage()
{
    FIdMessage = MakeComponent<TIdMessage>();
    // meDefault makes the attachment encoding "UUE" (whatever it was before) until
    // the send sets meMIME, which brings back "MIME".
    FIdMessage->SetEncoding(TIdMessageEncoding::meDefault);
    FIdMessage->SetConvertPreamble(true);
    FIdMessage->FromList().Add();
}

std::u16string SendInputProblem(const TMailDispatchInput& input)
{
    if (Trim(input.Recipient).empty())
        return std::u16string(kEmptyRecipientMessage);
    // A line break would end the RCPT command and the header line it goes into.
    if (HasControlCharacter(input.Recipient))
        return u"O e-mail de recebimento contém uma quebra de linha ou outro caractere de controle. "
               u"Corrija o endereço e tente de novo.";
    if (const std::u16string problem = ParseRecipients(input.Recipient).Problem; !problem.empty())
        return u"E-mail de recebimento: " + problem + u" O e-mail não foi enviado.";
    // The subject is one header line, which may not pass 998 characters.
    if (input.StoreName.size() > kMaxStoreNameLength)
        return u"O nome da loja tem " + IntToStr(static_cast<std::int64_t>(input.StoreName.size()))
            + u" caracteres; o limite é " + IntToStr(std::int64_t {kMaxStoreNameLength})
            + u". Abrevie o nome e tente de novo. O e-mail não foi enviado.";
    // The subject and the history name the month; a text that names none would
    // label the mail with whatever was typed.
    if (MonthNumber(input.MonthEditText).empty() || !IsYearText(input.YearEditText))
        return u"Escolha o ano e o mês na janela principal (ano \"" + input.YearEditText + u"\", mês \""
            + input.MonthEditText + u"\"). O e-mail não foi enviado.";
    return {};
}

std::u16string TMailDispatch::Refusal(const TMailDispatchInput& input) const
{
    if (std::u16string problem = SendInputProblem(input); !problem.empty())
        return problem;
    if (FSettings.Host.empty())
        return u"O servidor de e-mail não está configurado: falta Host na seção [Mail] de "
            + platform::Utf8ToUtf16(FSettings.ConfigPath) + u". O e-mail não foi enviado.";
    // The sender goes into MAIL FROM and From as the recipients do.
    if (const std::u16string problem = AddressProblem(FSettings.Mailbox); !FSettings.Mailbox.empty() && !problem.empty())
        return u"Mailbox na seção [Mail] de " + platform::Utf8ToUtf16(FSettings.ConfigPath) + u": " + problem
            + u" O e-mail não foi enviado.";
    return {};
}

void TMailDispatch::ApplyTransportSettings()
{
    TIdSSLOptions& tls = FIdSSLIOHandlerSocket->SSLOptions();
    tls.SetMethod(TIdSSLVersion::sslvSSLv23);
    tls.SetMode(TIdSSLMode::sslmClient);
    // The library leaves the server unchecked; the account's password must only go
    // to the server named in the deployment file (its name is checked and sent as
    // SNI by the handler once verification is on).
    tls.SetVerifyMode({TIdSSLVerifyMode::sslvrfPeer});
    tls.SetVerifyDepth(FSettings.VerifyDepth);
    tls.SetRootCertFile(platform::Utf8ToUtf16(FSettings.CAFile));

    // The TLS handler before the TLS mode, which needs it in place.
    FIdSMTP->SetIOHandler(FIdSSLIOHandlerSocket.get());
    FIdSMTP->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    FIdSMTP->SetAuthType(TIdSMTPAuthenticationType::satDefault);
    FIdSMTP->SetPort(static_cast<TIdPort>(FSettings.Port));
    FIdSMTP->SetHost(FSettings.Host);
    FIdSMTP->SetUsername(FSettings.Mailbox);
    FIdSMTP->SetPassword(FSettings.Password);
    FIdSMTP->SetConnectTimeout(FSettings.ConnectTimeout);
    FIdSMTP->SetReadTimeout(FSettings.ReadTimeout);
    // Each command and each header line of the message leaves in a write of its own;
    // with Nagle's algorithm the last of such a burst waited for the server's delayed
    // acknowledgement (40 ms on Linux) before the server could answer.
    FIdSMTP->SetUseNagle(false);
}

void TMailDispatch::FillMessage(const TMailDispatchInput& input, const std::optional<std::string>& attachment,
                               int part, int parts)
{
    TIdMessage& message = *FIdMessage;
    message.From().SetAddress(FSettings.Mailbox);
    message.From().SetName(String(kSenderDisplayName));
    // The address alone: the display name stays in From.
    message.ReplyTo().SetEMailAddresses(message.From().Address());
    // Every address typed, each in To and in a RCPT of its own.
    for (const TRecipient& recipient : ParseRecipients(input.Recipient).Recipients) {
        TIdEMailAddressItem& item = message.Recipients().Add();
        item.SetName(recipient.Name);
        item.SetAddress(recipient.Address);
    }
    message.SetSubject(part ? Format(u"%s (parte %d de %d)", {MailSubject(input), std::int64_t {part},
                                                               std::int64_t {parts}})
                            : MailSubject(input));
    message.SetEncoding(TIdMessageEncoding::meMIME);
    TIdText& text = TCollection::Emplace<TIdText>(message.MessageParts());
    text.Body().Add(String(kMessageText));
    if (part) {
        const String archive = platform::Utf8ToUtf16(
            platform::Utf8OfNativePath(platform::NativePath(*attachment).filename().replace_extension()));
        const String first = platform::Utf8ToUtf16(std::filesystem::path(VolumeName("", 1)).string());
        const String last = platform::Utf8ToUtf16(VolumeName("", parts));
        text.Body().Add(u"");
        text.Body().Add(Format(u"Parte %d de %d: o arquivo %s foi dividido em %d volumes do 7-Zip (%s%s a %s%s) "
                               u"para caber no limite de tamanho do servidor de e-mail.",
                               {std::int64_t {part}, std::int64_t {parts}, archive, std::int64_t {parts}, archive,
                                first, archive, last}));
        text.Body().Add(Format(u"Para juntar: salve os anexos das %d mensagens na mesma pasta e abra o %s%s "
                               u"com o 7-Zip (na linha de comando: 7z x %s%s).",
                               {std::int64_t {parts}, archive, first, archive, first}));
    }
    text.SetContentType(u"text/plain; charset=iso-8859-1");
    if (attachment)
        TCollection::Emplace<TIdAttachmentFile>(message.MessageParts(), platform::Utf8ToUtf16(*attachment));
    if (FReportCsv && part <= 1)
        TCollection::Emplace<TIdAttachmentFile>(message.MessageParts(), platform::Utf8ToUtf16(*FReportCsv));
}

void TMailDispatch::WatchProgress(std::uint64_t total)
{
    FReportedPermille = 0;
    FView.ShowProgress(0, total);
    // The message writer counts the bytes it hands to the connection; commands
    // outside the message are not counted.
    FIdSMTP->OnWork = [this, total](TIdComponent*, TWorkMode mode, std::int64_t count) {
        if (mode != TWorkMode::wmWrite || count <= 0)
            return;
        const auto written = static_cast<std::uint64_t>(count);
        const std::uint64_t permille = std::min<std::uint64_t>(1000, written * 1000 / total);
        if (permille != FReportedPermille) {
            FReportedPermille = permille;
            FView.ShowProgress(written, total);
        }
    };
}

TMailDispatchResult TMailDispatch::Send(const TMailDispatchInput& input)
{
    if (const std::u16string refusal = Refusal(input); !refusal.empty()) {
        FView.ShowMessage(refusal);
        return TMailDispatchResult::mdRefused;
    }
    // Nothing connects before the attachment is known to be what it claims to be.
    const TAttachmentProof proof = ProveAttachment(input, FMapper);
    if (proof.State == TProofState::psRefused) {
        FView.ShowMessage(proof.Refusal + u"\nO e-mail não foi enviado.");
        return TMailDispatchResult::mdRefused;
    }
    if (const std::u16string caveat = proof.Caveat(); !caveat.empty() && !FView.ConfirmCaveat(caveat))
        return TMailDispatchResult::mdRefused;
    // From the duplicate check to the history's line, no other send of the month
    // can come between: it waits for this lock, then finds this send's line.
    std::optional<platform::TFileLock> historyLock;
    if (FHistory && !LockHistory(input, historyLock))
        return TMailDispatchResult::mdRefused;
    // After an earlier attempt the components were released: new ones, so that the
    // message is built afresh.
    if (!FIdSMTP)
        MakeComponents();

    FReplies.clear();
    FMessageSizes.clear();
    TAttemptOutcome outcome = Attempt(input, proof);
    TearDown(outcome.SayGoodbye);
    const std::u16string unrecorded = RecordAttempt(input, proof, outcome.Failure, std::move(outcome.ArchiveFacts));
    // The boxes below wait for the user: the next send must not wait for them.
    historyLock.reset();
    return TellOutcome(input, proof, outcome.Failure, unrecorded);
}

TMailDispatch::TAttemptOutcome TMailDispatch::Attempt(const TMailDispatchInput& input, const TAttachmentProof& proof)
{
    TAttemptOutcome outcome;
    TPhase phase = TPhase::phPreparing;
    std::u16string partLabel;
    const std::optional<std::string>& attachment = proof.File;
    std::future<TArchiveFacts> archiveFacts;
    FReportCsv.reset();
    if (FSettings.AttachReportCsv && attachment) {
        std::error_code error;
        if (std::string csv = ReportCsvFileFor(*attachment);
            !csv.empty() && std::filesystem::is_regular_file(platform::NativePath(csv), error))
            FReportCsv = std::move(csv);
    }
    try {
        ApplyTransportSettings();
        FillMessage(input, attachment);
        WatchProgress(RoughMessageSize(attachment ? std::filesystem::file_size(platform::NativePath(*attachment)) : 0));
        phase = TPhase::phConnecting;
        FIdSMTP->Connect();
        // Hashing and listing a big archive take about as long as sending it; on a
        // second thread they cost nothing while the message goes out. Started once
        // the connection has loaded the TLS library (the hash uses it) and collected
        // before the tear-down unloads it.
        if (proof.State == TProofState::psUnchecked && FHistory)
            archiveFacts = std::async(std::launch::async, ReadArchiveFacts, FRoots, *attachment);
        phase = TPhase::phLoggingIn;
        // Without AUTH LOGIN on offer nothing is sent; the server then decides
        // whether it takes the mail.
        FIdSMTP->Authenticate();
        phase = TPhase::phDelivering;
        DeliverWithinLimit(input, attachment, partLabel);
    } catch (const std::exception& e) {
        outcome.Failure = partLabel + FailureMessage(phase, MailFailureReason(e, FSettings), FSettings);
        if (auto refusal = RefusalReply(e))
            FReplies.push_back(std::move(*refusal));
        outcome.SayGoodbye = dynamic_cast<const EIdReplyRFCError*>(&e) != nullptr;
    } catch (...) {
        outcome.Failure = FailureMessage(phase, u"Erro desconhecido.", FSettings);
        outcome.SayGoodbye = false;
    }
    if (archiveFacts.valid())
        outcome.ArchiveFacts = archiveFacts.get();
    return outcome;
}

void TMailDispatch::DeliverWithinLimit(const TMailDispatchInput& input, const std::optional<std::string>& attachment,
                                       std::u16string& partLabel)
{
    const std::uint64_t limit = EffectiveSizeLimit(ServerSizeLimit(FIdSMTP->Capabilities()), FSettings.MaxMessageSize);
    if (limit && attachment) {
        FMessageSizes.push_back(ExactMessageSize(*FIdMessage));
        if (FMessageSizes.back() > limit) {
            FMessageSizes.clear();
            DeliverInVolumes(input, *attachment, limit, partLabel);
            return;
        }
    }
    Deliver();
}

TMailDispatchResult TMailDispatch::TellOutcome(const TMailDispatchInput& input, const TAttachmentProof& proof,
                                               const std::u16string& failure, const std::u16string& unrecorded)
{
    if (!failure.empty()) {
        FView.ShowMessage(failure);
        if (!unrecorded.empty())
            FView.ShowMessage(u"Não foi possível gravar o histórico de envios " + unrecorded);
        return TMailDispatchResult::mdFailed;
    }
    FView.ShowMessage(u"E-mail enviado para " + RecipientAddresses(ParseRecipients(input.Recipient))
                      + (proof.State == TProofState::psNoAttachment ? u", sem anexo." : u"."));
    if (!unrecorded.empty())
        FView.ShowMessage(u"O e-mail foi entregue, mas o histórico não pôde ser gravado: " + unrecorded
                          + u" Sem essa linha, um novo envio deste mês a este endereço não será barrado; "
                            u"corrija o arquivo e anote este envio.");
    FView.CloseDialog();
    return unrecorded.empty() ? TMailDispatchResult::mdDelivered : TMailDispatchResult::mdDeliveredNotRecorded;
}

bool TMailDispatch::LockHistory(const TMailDispatchInput& input, std::optional<platform::TFileLock>& lock)
{
    const std::u16string month = HistoryMonth(input.MonthEditText);
    // The delivery the user agreed to send again over; a newer one found under the
    // lock is asked about again.
    std::optional<THistoryEntry> agreed;
    for (;;) {
        int error = 0;
        auto taken = FHistory->Lock(std::chrono::milliseconds::zero(), error);
        if (!taken && error == EWOULDBLOCK) {
            FView.ShowWaiting(u"Outro envio está usando o histórico de envios; aguardando que termine (até "
                              + WaitText(FHistoryLockWait) + u")...");
            if (auto later = FHistory->Lock(FHistoryLockWait, error))
                taken.emplace(std::move(*later));
        }
        const std::u16string lockFile = platform::Utf8ToUtf16(FHistory->LockPath());
        if (!taken && error == EWOULDBLOCK) {
            FView.ShowMessage(u"O histórico de envios continua bloqueado por outro envio depois de "
                              + WaitText(FHistoryLockWait) + u" de espera (" + lockFile
                              + u"). O e-mail não foi enviado; tente de novo quando o outro envio terminar.");
            return false;
        }
        if (!taken) {
            FView.ShowMessage(u"Não foi possível bloquear o histórico de envios (" + lockFile + u"): "
                              + FileErrorText(error) + u". O e-mail não foi enviado.");
            return false;
        }
        auto previous = FHistory->PreviousDelivery(input.YearEditText, month, input.Recipient);
        if (!previous || (agreed && agreed->Fields() == previous->Fields())) {
            lock.emplace(std::move(*taken));
            return true;
        }
        taken.reset(); // never held while the user thinks about the question
        if (!FView.ConfirmResend(*previous))
            return false;
        agreed = std::move(previous);
    }
}

void TMailDispatch::Deliver()
{
    FIdSMTP->Send(*FIdMessage);
    const TIdReply& reply = FIdSMTP->LastCmdResult();
    TMailReply final {reply.Code(), {}, JoinedLines(reply.Text())};
    if (const auto* smtp = dynamic_cast<const TIdReplySMTP*>(&reply))
        final.EnhancedCode = smtp->EnhancedCode().ReplyAsStr();
    FReplies.push_back(std::move(final));
}

void TMailDispatch::DeliverInVolumes(const TMailDispatchInput& input, const std::string& archive,
                                     std::uint64_t limit, std::u16string& partLabel)
{
    // What a part's message holds besides the volume: the message with the
    // longest text (three-digit part numbers) and no attachment, plus the
    // attachment's part headers, which name the file twice.
    MakeMessage();
    FillMessage(input, std::nullopt);
    TIdText& text = static_cast<TIdText&>(FIdMessage->MessageParts()[0]);
    text.Body().Add(String(300, u'x'));
    const std::uint64_t overhead = ExactMessageSize(*FIdMessage) + 512 + 2 * archive.size();
    const std::uint64_t largest = VolumeSizeFor(limit, overhead);
    if (largest == 0)
        throw std::runtime_error("O limite de tamanho de mensagem (" + std::to_string(limit)
                                 + " bytes) é pequeno demais para dividir o arquivo.");
    // As few parts as the limit allows, of even size (no sliver of a last part).
    const std::uint64_t archiveSize = std::filesystem::file_size(platform::NativePath(archive));
    const std::uint64_t count = (archiveSize + largest - 1) / largest;
    const std::vector<std::string> volumes = SplitIntoVolumes(archive, (archiveSize + count - 1) / count);
    const int parts = static_cast<int>(volumes.size());
    for (int part = 1; part <= parts; ++part) {
        partLabel = Format(u"Parte %d de %d: ", {std::int64_t {part}, std::int64_t {parts}});
        if (part == 2)
            partLabel += u"(a parte 1 já foi entregue) ";
        else if (part > 2)
            partLabel += Format(u"(as partes 1 a %d já foram entregues) ", {std::int64_t {part - 1}});
        MakeMessage();
        FillMessage(input, volumes[static_cast<std::size_t>(part - 1)], part, parts);
        const std::uint64_t size = ExactMessageSize(*FIdMessage);
        if (size > limit)
            throw std::runtime_error("A mensagem da parte tem " + std::to_string(size) + " bytes, acima do limite de "
                                     + std::to_string(limit) + " bytes.");
        FMessageSizes.push_back(size);
        FView.ShowPart(part, parts);
        WatchProgress(size);
        Deliver();
    }
    partLabel.clear();
}

TMailDispatch::TArchiveFacts TMailDispatch::ReadArchiveFacts(const platform::TWinPathRoots& roots,
                                                              const std::string& archive)
{
    TArchiveFacts facts;
    try {
        facts.Sha256 = platform::Utf8ToUtf16(Sha256OfFile(archive));
        facts.FilesPerTerminal = ArchiveFilesPerTerminal(roots, archive);
    } catch (const std::exception&) {
        // The history line then goes without them; the send is what matters.
    }
    return facts;
}

std::u16string TMailDispatch::RecordAttempt(const TMailDispatchInput& input, const TAttachmentProof& proof,
                                            const std::u16string& failure, std::optional<TArchiveFacts> facts)
{
    if (!FHistory)
        return {};
    THistoryEntry entry;
    entry.DateTime = HistoryDateTime(platform::TSystemClock().Now());
    entry.Year = input.YearEditText;
    entry.Month = HistoryMonth(input.MonthEditText);
    entry.Event = std::u16string(kEventSend);
    entry.Recipient = input.Recipient;
    entry.Archive = input.AttachmentPath;
    entry.State = proof.StateText();
    if (proof.File) {
        std::error_code error;
        const auto size = std::filesystem::file_size(platform::NativePath(*proof.File), error);
        if (!error)
            entry.Size = IntToStr(static_cast<std::int64_t>(size));
    }
    if (proof.State == TProofState::psSealed) {
        entry.Sha256 = platform::Utf8ToUtf16(proof.ArchiveSha256);
        entry.FilesPerTerminal = proof.Manifest->FilesPerTerminal();
        entry.Manifest = proof.ManifestPath;
        entry.ManifestSha256 = platform::Utf8ToUtf16(proof.ManifestSha256);
    } else if (proof.File) {
        if (!facts)
            facts = ReadArchiveFacts(FRoots, *proof.File);
        entry.Sha256 = std::move(facts->Sha256);
        entry.FilesPerTerminal = std::move(facts->FilesPerTerminal);
    }
    if (!FReplies.empty()) {
        entry.ReplyCode = FReplies.back().Code;
        entry.EnhancedCode = FReplies.back().EnhancedCode;
        if (FReplies.size() == 1) {
            entry.ReplyText = FReplies.back().Text;
        } else {
            // Each volume's queue identifier, so that any part can be traced.
            for (std::size_t i = 0; i < FReplies.size(); ++i) {
                const TMailReply& r = FReplies[i];
                entry.ReplyText += Format(u"%sparte %d: %s %s %s", {String(i ? u" | " : u""), std::int64_t(i + 1),
                                                                    r.Code, r.EnhancedCode, r.Text});
            }
        }
    }
    entry.Result = failure.empty() ? std::u16string(kResultDelivered)
                                   : u"falhou: " + Trim(StringReplaceAll(failure, u"\n", u" "));
    try {
        FHistory->Append(entry);
    } catch (const std::system_error& e) {
        return platform::Utf8ToUtf16(FHistory->Path()) + u": " + FileErrorText(e.code().value()) + u".";
    } catch (const std::exception& e) {
        return platform::Utf8ToUtf16(FHistory->Path()) + u": " + platform::Utf8ToUtf16(e.what()) + u".";
    }
    return {};
}

void TMailDispatch::TearDown(bool sayGoodbye)
{
    try {
        FIdSMTP->Disconnect(sayGoodbye);
    } catch (const std::exception&) {
        // QUIT refused or the connection lost while saying goodbye: the connection
        // is closed all the same, and the message was already accepted or its
        // failure is being reported.
    }
    UnloadTlsLibrary();
    // Each reference is cleared before its object goes (unique_ptr::reset).
    FIdMessage.reset();
    FIdSSLIOHandlerSocket.reset();
    FIdSMTP.reset();
}

} // namespace orvant::app
