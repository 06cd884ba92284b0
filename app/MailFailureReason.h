#pragma once
// Why a send failed, in words the store's owner can act on. The mail library's
// own texts are English and technical; they stay on the message as the detail an
// IT person needs, below a Portuguese sentence, but cleaned first: a server's
// reply may hold control bytes or be very long.

#include "app/MailDispatch.h"

#include <exception>
#include <string>
#include <string_view>

namespace orvant::app {

// One or two lines: the Portuguese reason and, where it adds something, the
// library's detail.
std::u16string MailFailureReason(const std::exception& error, const TMailSettings& settings);

// The text with line breaks made blanks, other control characters made "?", runs
// of blanks made one, and cut to `maxLength` characters ("…" marks the cut).
std::u16string PrintableDetail(std::u16string_view text, std::size_t maxLength = 300);

} // namespace orvant::app
