#pragma once
// The largest message the mail server takes, and how big the message really is.
//
// Common providers take 20 to 25 MB, and a busy store's month compresses to more;
// the refusal only comes after the whole upload. So the limit is known before
// MAIL: the server's SIZE (RFC 1870, in the capability list after EHLO) and the
// deployment's [Mail] MaxMessageSize, whichever is smaller (0 = none). The
// message's size is what the writer produces, counted on its way into a stream
// that keeps nothing, so it is exact and costs no memory.

#include "mime/IdStrings.h"

#include <cstdint>

class TIdMessage;

namespace orvant::app {

inline constexpr std::uint64_t kDefaultMaxMessageSize = 20ull * 1024 * 1024;

// The number after "SIZE" in the capability list; 0 when the server names no
// fixed limit ("SIZE" alone, "SIZE 0", or no SIZE at all).
std::uint64_t ServerSizeLimit(const TStrings& capabilities);
// The smaller of two limits, 0 standing for none.
std::uint64_t EffectiveSizeLimit(std::uint64_t server, std::uint64_t configured);
// Exactly the bytes the writer produces for the message, final "." line included:
// it is written once to a counting stream. Against the server's size limit.
std::uint64_t ExactMessageSize(TIdMessage& message);
// The largest volume whose message stays below `limit`, when the rest of the
// message (headers, text part, the attachment's part headers) takes `overhead`
// bytes: base64 makes 78 bytes (76 characters and CR LF) of every 57, and a
// margin of 1 % plus 4 KiB covers what the overhead estimate may miss. 0 when
// the overhead alone reaches the limit.
std::uint64_t VolumeSizeFor(std::uint64_t limit, std::uint64_t overhead);

} // namespace orvant::app
