#pragma once
// The mail dispatch behind "Enviar E-mail": fills the send dialog's message
// (sender, reply-to, the typed recipient, "<store> - XML - <month> de <year>", a
// short text part and the month's archive when the file exists) and delivers it
// through the dialog's SMTP client over TLS from the first byte, with the login
// of the deployment's account.
//
// Where the original program sent blind and said nothing, this one
//   - verifies the server's certificate (system trust store plus [Mail] CAFile)
//     and its host name, and sends the name as SNI: the password goes only to
//     the server it is meant for;
//   - shows every failure in Portuguese with the server's reply or the transport
//     error, keeps the dialog open and, on the next press, makes the components
//     and the message anew; only an accepted delivery closes the dialog, after
//     confirming it;
//   - sends to every address typed ("," or ";" between them) and refuses, before
//     connecting, an empty recipient, any part that is no usable address (see
//     RecipientList.h), an over-long store name and an unconfigured server;
//   - sends the month's archive only as its check sealed it (TAttachmentProof),
//     and an incomplete or empty month only when the user says so;
//   - bounds the connect and every read, so a silent server cannot hold the
//     program for ever;
//   - reports the bytes of the message written so far while it goes out;
//   - when the message would exceed the server's SIZE or [Mail] MaxMessageSize,
//     sends the archive as 7-Zip volumes, one message per volume, in the same
//     session (one TLS handshake and login; the volumes are cut before the first
//     part leaves, so the session never idles long);
//   - with a history, checks it for an earlier delivery of the month to the
//     address, sends and appends one line per attempt with the server's final
//     reply, all under the history's lock: a second send of the month waits for
//     the first (a bounded wait) and then finds its line. A history that cannot
//     be written after a delivery is reported (mdDeliveredNotRecorded).
// No error leaves Send.
//
// The class knows nothing of Qt: the dialog (and orvant-cli) talk to it through
// IMailDispatchView.

#include "app/AttachmentProof.h"
#include "app/SizeLimit.h"
#include "platform/DeploymentConfig.h"
#include "platform/FileLock.h"
#include "platform/WinPath.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TIdMessage;
class TIdSMTP;
class TIdSSLIOHandlerSocketOpenSSL;

namespace orvant::app {

struct THistoryEntry;

// What "Enviar E-mail" reads at the moment of the click.
struct TMailDispatchInput {
    std::u16string MonthEditText;  // Cb_Mes edit text, e.g. "Março"
    std::u16string YearEditText;   // Cb_Ano edit text, e.g. "2021"
    std::u16string StoreName;      // edt_loja
    std::u16string Recipient;      // edt_email
    // edit_anexo: Windows path text (mapped through the deployment's roots); a
    // text starting with "/" is taken as a Linux path (orvant-cli --attach).
    std::u16string AttachmentPath;
    // A file the user chose himself (orvant-cli --attach): it goes unchecked,
    // unless a manifest lies beside it. Otherwise the path is the month's archive,
    // which goes only as its check sealed it.
    bool UserAttachment = false;
};

// The mail account and server of the deployment, and the waits.
struct TMailSettings {
    std::u16string Host;
    int Port = 465;
    std::u16string Mailbox;  // sender, login user name and reply-to
    std::u16string Password;
    std::string CAFile;      // extra trust anchors (PEM); empty: the system store only
    std::string ConfigPath;  // the deployment file, named in the "not configured" message
    std::int32_t ConnectTimeout = 30000; // ms
    std::int32_t ReadTimeout = 60000;    // ms, each read (and each blocked write)
    // The server's certificate may lie this many CA certificates below a trusted
    // one (the TLS library's count): a public server's chain runs through one or
    // two intermediate CAs.
    std::int32_t VerifyDepth = 4;
    // [Mail] MaxMessageSize: the largest message sent whole, in bytes; 0 = no limit
    // of our own (the server's SIZE still counts).
    std::uint64_t MaxMessageSize = kDefaultMaxMessageSize;
    // [Report] AttachCsv: the month report's CSV beside the archive goes as a second
    // attachment (with the whole archive, or with its first volume).
    bool AttachReportCsv = false;

    static TMailSettings FromDeployment(const platform::TDeploymentConfig& deployment);
};

class IMailDispatchView {
public:
    virtual ~IMailDispatchView() = default;
    // Modal: returns when the user has closed the message.
    virtual void ShowMessage(std::u16string_view text) = 0;
    // Bytes of the message written so far, of about `total`; 0 of total before
    // connecting. Called often: the view repaints only what changed.
    virtual void ShowProgress(std::uint64_t written, std::uint64_t total) = 0;
    // After an accepted delivery (and its confirmation).
    virtual void CloseDialog() = 0;
    // Before each message of an archive sent in volumes (part 1..parts).
    virtual void ShowPart(int /*part*/, int /*parts*/) {}
    // The month is incomplete or empty (`caveat` says how): true when the user
    // wants it sent all the same. Nobody asked means no.
    virtual bool ConfirmCaveat(std::u16string_view /*caveat*/) { return false; }
    // The month already went to this address (`previous`, by the history): true
    // when it is to go again. Asked while the history is not locked. Nobody asked
    // means no.
    virtual bool ConfirmResend(const THistoryEntry& /*previous*/) { return false; }
    // Another send holds the history's lock: this one waits (at most
    // TMailDispatch::HistoryLockWait()) before it starts.
    virtual void ShowWaiting(std::u16string_view /*text*/) {}
};

// A server's reply as the history keeps it.
struct TMailReply {
    std::u16string Code;         // "250"
    std::u16string EnhancedCode; // "2.0.0"; empty when the server sends none
    std::u16string Text;         // its lines joined by blanks
};

class TSendHistory;

enum class TMailDispatchResult {
    mdDelivered, // the server accepted the message
    mdDeliveredNotRecorded, // accepted, but the history could not be written (the user was told)
    mdRefused,   // nothing was sent: empty or invalid recipient, no server configured, the attachment refused
    mdFailed,    // connection, login, delivery or preparation failed
};

inline constexpr std::u16string_view kSenderDisplayName = u"Dravik Automail";
inline constexpr std::u16string_view kMessageText = u"Segue em anexo os arquivos referentes";
inline constexpr std::u16string_view kEmptyRecipientMessage = u"O Email para envio está vazio!!";
// How long a send waits for another one holding the history's lock: far longer
// than one send's own bounded waits (30 s to connect, 60 s for each reply) take
// for a month's archive, and short enough that a lock never released cannot hold
// a scheduled run for ever.
inline constexpr std::chrono::milliseconds kHistoryLockWait = std::chrono::minutes(10);

// "<store> - XML - <month> de <year>".
std::u16string MailSubject(const TMailDispatchInput& input);
// A store name longer than this would make a subject line no server need take.
inline constexpr std::size_t kMaxStoreNameLength = 200;
// Why the typed recipients, store name or month cannot be sent, empty when they
// can: checked before anything connects (and by orvant-cli run before it extracts).
std::u16string SendInputProblem(const TMailDispatchInput& input);
// True when the text holds a C0 or C1 control character (CR and LF among them).
bool HasControlCharacter(std::u16string_view text);
// The existing regular file the attachment path names, if any.
std::optional<std::string> AttachmentFile(std::u16string_view path, const platform::TWinPathMapper& mapper);
// Roughly the bytes the message writer produces for a message with the text part
// and an attachment of that many bytes (base64 in lines of 76): the progress
// bar's total, known before the message is built. For the exact figure, which
// writes the message once, see ExactMessageSize.
std::uint64_t RoughMessageSize(std::uint64_t attachmentBytes);

class TMailDispatch {
public:
    TMailDispatch(IMailDispatchView& view, TMailSettings settings, platform::TWinPathRoots roots);
    ~TMailDispatch();
    TMailDispatch(const TMailDispatch&) = delete;
    TMailDispatch& operator=(const TMailDispatch&) = delete;

    TMailDispatchResult Send(const TMailDispatchInput& input);

    // Each attempt that got as far as preparing the message is appended there.
    void SetHistory(const TSendHistory* history) { FHistory = history; }
    void SetHistoryLockWait(std::chrono::milliseconds wait) { FHistoryLockWait = wait; }
    std::chrono::milliseconds HistoryLockWait() const { return FHistoryLockWait; }
    // The server's final reply to each message of the last attempt (after the
    // final "." or the refusal), in order: one, or one per volume.
    const std::vector<TMailReply>& Replies() const { return FReplies; }
    // The encoded size of each message of the last attempt that was measured
    // (only when a limit applied).
    const std::vector<std::uint64_t>& MessageSizes() const { return FMessageSizes; }

    // The dialog's three components, null once released (after each attempt,
    // until the next press makes them anew).
    TIdSMTP* IdSMTP() const { return FIdSMTP.get(); }
    TIdMessage* IdMessage() const { return FIdMessage.get(); }
    TIdSSLIOHandlerSocketOpenSSL* IdSSLIOHandlerSocket() const { return FIdSSLIOHandlerSocket.get(); }

private:
    // The components with the settings stored with the dialog.
    void MakeComponents();
    void MakeMessage();
    // A message for the user when the send must not start; empty when it may.
    std::u16string Refusal(const TMailDispatchInput& input) const;
    void ApplyTransportSettings();
    // Sender, reply-to, recipient, subject, encoding, text part, attachment; for
    // volume `part` of `parts` the subject says so and the text says how to join.
    void FillMessage(const TMailDispatchInput& input, const std::optional<std::string>& attachment,
                     int part = 0, int parts = 0);
    // Send of the filled message, keeping the server's final reply.
    void Deliver();
    // The archive as volumes, one message each; `partLabel` names the part under way.
    void DeliverInVolumes(const TMailDispatchInput& input, const std::string& archive, std::uint64_t limit,
                          std::u16string& partLabel);
    // What the history keeps of the archive: its SHA-256 and files per terminal.
    struct TArchiveFacts {
        std::u16string Sha256;
        std::u16string FilesPerTerminal;
    };
    static TArchiveFacts ReadArchiveFacts(const platform::TWinPathRoots& roots, const std::string& archive);
    // What one attempt at the server left behind.
    struct TAttemptOutcome {
        // Empty when the server accepted every message; else for the user, naming
        // the step and the part that failed.
        std::u16string Failure;
        // After a refusal the server has answered and the session is in step; after
        // a time-out or a broken connection a QUIT would only wait once more.
        bool SayGoodbye = true;
        // Read beside the send when the archive was not proven beforehand.
        std::optional<TArchiveFacts> ArchiveFacts;
    };
    // Connect, log in and deliver the filled message; nothing escapes it.
    TAttemptOutcome Attempt(const TMailDispatchInput& input, const TAttachmentProof& proof);
    // One message, or volumes when the message is over the server's or the
    // deployment's size limit; `partLabel` names the part under way.
    void DeliverWithinLimit(const TMailDispatchInput& input, const std::optional<std::string>& attachment,
                            std::u16string& partLabel);
    // The boxes that end an attempt, and its result.
    TMailDispatchResult TellOutcome(const TMailDispatchInput& input, const TAttachmentProof& proof,
                                    const std::u16string& failure, const std::u16string& unrecorded);
    // The history's lock, taken once no earlier delivery of the month to the
    // address stands in the way (or the view said to send again, asked without the
    // lock held); false when the send must not go (the view was told why).
    bool LockHistory(const TMailDispatchInput& input, std::optional<platform::TFileLock>& lock);
    // `facts`: read while the message went out, when the connection was made.
    // Empty when recorded (or no history); else the file and what went wrong.
    std::u16string RecordAttempt(const TMailDispatchInput& input, const TAttachmentProof& proof,
                       const std::u16string& failure, std::optional<TArchiveFacts> facts);
    void WatchProgress(std::uint64_t total);
    // Disconnect (with QUIT when sayGoodbye), unload the TLS library, release
    // message, handler, client.
    void TearDown(bool sayGoodbye);

    IMailDispatchView& FView;
    TMailSettings FSettings;
    platform::TWinPathRoots FRoots;
    platform::TWinPathMapper FMapper;
    const TSendHistory* FHistory = nullptr;
    std::chrono::milliseconds FHistoryLockWait = kHistoryLockWait;
    std::optional<std::string> FReportCsv; // the CSV this attempt attaches, when asked to and it is there
    std::vector<TMailReply> FReplies;
    std::vector<std::uint64_t> FMessageSizes;
    std::unique_ptr<TIdSMTP> FIdSMTP;
    std::unique_ptr<TIdMessage> FIdMessage;
    std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> FIdSSLIOHandlerSocket;
    std::uint64_t FReportedPermille = 0;
};

} // namespace orvant::app
