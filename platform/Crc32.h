#pragma once
// CRC-32 as zip, 7-Zip and zlib compute it (polynomial 0x04C11DB7, reflected,
// inverted at both ends): Crc32(0, ...) starts a checksum, and passing the
// result on continues it over the next bytes.
//
// A month's copy checksums every invoice it copies (half a gigabyte on a busy
// store), so on x86-64 processors with carry-less multiplication (PCLMULQDQ,
// every one made since 2010) the bytes are folded 64 at a time; elsewhere
// zlib's table-driven code does it.

#include <cstddef>
#include <cstdint>

namespace orvant::platform {

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

} // namespace orvant::platform
