// The portable address readers accept exactly what the system's inet_pton accepts,
// and read the same address from it.

#include "net/IdIPAddress.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

void ExpectSameAsInetPton(const std::string& text)
{
    TIdIPv4Bytes v4{};
    in_addr systemV4{};
    const bool oursV4 = ParseIPv4Address(text, v4);
    ASSERT_EQ(oursV4, ::inet_pton(AF_INET, text.c_str(), &systemV4) == 1) << "IPv4 \"" << text << '"';
    if (oursV4) {
        EXPECT_EQ(std::memcmp(v4.data(), &systemV4, v4.size()), 0) << text;
    }

    TIdIPv6Bytes v6{};
    in6_addr systemV6{};
    const bool oursV6 = ParseIPv6Address(text, v6);
    ASSERT_EQ(oursV6, ::inet_pton(AF_INET6, text.c_str(), &systemV6) == 1) << "IPv6 \"" << text << '"';
    if (oursV6) {
        EXPECT_EQ(std::memcmp(v6.data(), &systemV6, v6.size()), 0) << text;
    }
}

} // namespace

TEST(IdIPAddressPosix, HandPickedTextsAsInetPton)
{
    for (const char* text :
         {"", "0.0.0.0", "1.2.3.4", "255.255.255.255", "256.1.1.1", "01.1.1.1", "1.1.1", "1.1.1.1.", "::", ":::",
          "::1", "1::", "1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7::", "::1:2:3:4:5:6:7",
          "::ffff:1.2.3.4", "::ffff:1.2.3", "1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:7:1.2.3.4", "::1.2.3.4:5",
          "fe80::1%lo", "FFFF::", "fffff::", "0000:0000::", "00000::", "1.2.3.4::", ":1", "1:", "::1.2.3.04"})
        ExpectSameAsInetPton(text);
}

TEST(IdIPAddressPosix, RandomTextsAsInetPton)
{
    std::mt19937 random(20261210);
    const std::string alphabet = "0123456789abcdefABCDEF:::...x ";
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
    // Address-like skeletons with a character changed, so that most texts are near misses.
    const std::vector<std::string> skeletons{"1:2:3:4:5:6:7:8", "::ffff:10.0.0.1", "fe80::a:b", "192.168.10.1",
                                             "1::2:3", "::", "abcd:ef01:2345:6789:abcd:ef01:2345:6789"};
    std::uniform_int_distribution<std::size_t> skeleton(0, skeletons.size() - 1);
    for (int round = 0; round < 200000; ++round) {
        std::string text;
        if (round % 2 == 0) {
            for (std::size_t i = length(random); i > 0; --i)
                text += alphabet[letter(random)];
        } else {
            text = skeletons[skeleton(random)];
            std::uniform_int_distribution<std::size_t> at(0, text.size() - 1);
            text[at(random)] = alphabet[letter(random)];
        }
        ExpectSameAsInetPton(text);
        if (HasFatalFailure())
            return;
    }
}
