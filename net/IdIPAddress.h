#pragma once
// Numeric IP addresses as text, read and written without the system's socket library,
// so that the portable units (IdStack.cpp, IdSSLSocket.cpp, the BSD base) need no
// system header and both systems accept exactly the same texts.
//
// The grammar is the one of inet_pton in the GNU C library (and of the BIND code it
// comes from): an IPv4 address is four dot-separated decimal numbers 0-255 without
// leading zeros or blanks; an IPv6 address is up to eight groups of one to four hex
// digits with at most one "::", and may end in an IPv4 address. Nothing else is
// accepted: no zone ("%eth0"), no brackets, no blanks. tests/net/IdIPAddressPosixTest
// compares both readers with the system's inet_pton.

#include "mime/IdGlobal.h"

#include <array>
#include <cstdint>
#include <string_view>

using TIdIPv4Bytes = std::array<std::uint8_t, 4>;
using TIdIPv6Bytes = std::array<std::uint8_t, 16>;

// True, with the address in network order, when the whole text is an IPv4 address.
bool ParseIPv4Address(std::string_view AText, TIdIPv4Bytes& VAddress);
// True, with the address in network order, when the whole text is an IPv6 address.
bool ParseIPv6Address(std::string_view AText, TIdIPv6Bytes& VAddress);
// Either of the two.
bool IsIPAddressText(std::string_view AText);

// "a.b.c.d" in decimal.
String IPv4AddressText(const TIdIPv4Bytes& AAddress);
// The library's canonical form: eight upper-case groups, no leading zeros, no "::".
String IPv6AddressText(const TIdIPv6Bytes& AAddress);
