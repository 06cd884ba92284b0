#pragma once
// The recipients typed into the send dialog's e-mail field or given to
// orvant-cli --to: one address or several, separated by "," or ";", each with an
// optional display name ("Contador <contador@example.com>; fiscal@example.com").
//
// The text is split as the message's address lists read a header, so what is
// checked here is exactly what goes into To and the RCPT commands. Each address
// must be one that the servers we target carry without SMTPUTF8: ASCII only, a
// dot-atom local part of at most 64 characters, a host name as domain, 254
// characters in all (RFC 5321). A text that names no usable address, or any part
// that is not one, refuses the whole send: a recipient dropped without a word is
// a month the accountant never gets.

#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

inline constexpr std::size_t kMaxLocalPartLength = 64;
inline constexpr std::size_t kMaxAddressLength = 254;
// A display name longer than this is no name a person types; it would also make
// the To line longer than a header line may be.
inline constexpr std::size_t kMaxDisplayNameLength = 200;
// Servers must take at least 100 recipients per message (RFC 5321).
inline constexpr std::size_t kMaxRecipients = 100;

struct TRecipient {
    std::u16string Name;
    std::u16string Address;
};

struct TRecipientList {
    std::vector<TRecipient> Recipients;
    // Why the text cannot be used, naming the part that is wrong; empty when every
    // part is a usable address.
    std::u16string Problem;
};

TRecipientList ParseRecipients(std::u16string_view typed);

// Why the address cannot be used, empty when it can.
std::u16string AddressProblem(std::u16string_view address);

// The addresses joined by ", ": "contador@example.com, fiscal@example.com".
std::u16string RecipientAddresses(const TRecipientList& list);

} // namespace orvant::app
