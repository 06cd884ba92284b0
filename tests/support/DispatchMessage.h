#pragma once
// The message the mail dispatch sends, for the SMTP tests: sender and reply-to the
// account's mailbox, one recipient, the store's subject, the one-line text part and
// the month's archive as attachment. The archive is written with bytes that no
// encoder passes through unchanged.

#include "mail/IdMessage.h"
#include "support/TempDir.h"

#include <cstddef>
#include <memory>
#include <string>

namespace orvant::test {

// Writes an archive of `size` bytes at Enviar/2026/03.7z below the folder and returns
// its path.
std::string WriteArchive(const TTempDir& dir, std::size_t size);

std::unique_ptr<TIdMessage> MakeDispatchMessage(const std::string& mailbox, const std::string& archivePath);

} // namespace orvant::test
