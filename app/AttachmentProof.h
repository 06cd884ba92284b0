#pragma once
// Before a send connects, the attachment is proven: the month's archive goes
// only when it is, byte for byte, the archive its check sealed into the month's
// manifest (same size, same SHA-256, recomputed now) and of the month the
// subject names. An archive half-written by a killed 7-Zip, one from an older
// extraction, one changed after the check or one without a manifest is refused
// with what to do. A month the manifest calls incomplete or empty needs the
// user's yes. A file the user attached by hand (orvant-cli send --attach) is his
// explicit choice: it goes unchecked, and the history says so.

#include "app/MonthManifest.h"
#include "platform/WinPath.h"

#include <optional>
#include <string>

namespace orvant::app {

struct TMailDispatchInput;

enum class TProofState {
    psNoAttachment, // nothing to attach ("Enviar XML", or no terminal was extracted)
    psUnchecked,    // the user's own file
    psSealed,       // the month's archive, as its check sealed it
    psRefused,      // must not leave
};

struct TAttachmentProof {
    TProofState State = TProofState::psNoAttachment;
    std::u16string Refusal;           // psRefused: what happened and what to do
    std::optional<std::string> File;  // the file to attach (Linux path)
    std::optional<TMonthManifest> Manifest;
    std::u16string ManifestPath;      // as the program names it
    std::string ManifestSha256;
    std::string ArchiveSha256;
    bool NoTerminal = false;          // the path was ".7z": no terminal was extracted

    // What the user must accept before the month goes (incomplete, empty, no
    // terminal); empty when nothing.
    std::u16string Caveat() const;
    // For the history: the month's state as it left.
    std::u16string StateText() const;
};

TAttachmentProof ProveAttachment(const TMailDispatchInput& input, const platform::TWinPathMapper& mapper);

} // namespace orvant::app
