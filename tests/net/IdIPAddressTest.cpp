// Numeric address texts read and written without the system's socket library.

#include "net/IdIPAddress.h"

#include <gtest/gtest.h>

TEST(IdIPAddress, IPv4IsFourDecimalNumbersWithoutLeadingZeros)
{
    TIdIPv4Bytes bytes{};
    ASSERT_TRUE(ParseIPv4Address("192.168.0.255", bytes));
    EXPECT_EQ(bytes, (TIdIPv4Bytes{192, 168, 0, 255}));
    EXPECT_EQ(IPv4AddressText(bytes), u"192.168.0.255");
    for (const char* text : {"0.0.0.0", "255.255.255.255", "1.2.3.4"})
        EXPECT_TRUE(ParseIPv4Address(text, bytes)) << text;
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "01.2.3.4", "1.2.3.4.", ".1.2.3.4", "1..3.4",
                             " 1.2.3.4", "1.2.3.4 ", "0x1.2.3.4", "1.2.3.-4"})
        EXPECT_FALSE(ParseIPv4Address(text, bytes)) << text;
}

TEST(IdIPAddress, IPv6GroupsGapAndTrailingIPv4)
{
    TIdIPv6Bytes bytes{};
    ASSERT_TRUE(ParseIPv6Address("fe80::0a:B", bytes));
    EXPECT_EQ(IPv6AddressText(bytes), u"FE80:0:0:0:0:0:A:B");
    ASSERT_TRUE(ParseIPv6Address("::ffff:1.2.3.4", bytes));
    EXPECT_EQ(IPv6AddressText(bytes), u"0:0:0:0:0:FFFF:102:304");
    ASSERT_TRUE(ParseIPv6Address("::", bytes));
    EXPECT_EQ(IPv6AddressText(bytes), u"0:0:0:0:0:0:0:0");
    ASSERT_TRUE(ParseIPv6Address("1:2:3:4:5:6:7:8", bytes));
    EXPECT_EQ(IPv6AddressText(bytes), u"1:2:3:4:5:6:7:8");
    for (const char* text : {"1::", "::1", "1:2:3:4:5:6::8", "1:2:3:4:5:6:1.2.3.4", "ABCD:ef01::"})
        EXPECT_TRUE(ParseIPv6Address(text, bytes)) << text;
    for (const char* text : {"", ":", ":1::", "1:", "1:::2", "1::2::3", "12345::", "1:2:3:4:5:6:7:8:9",
                             "1:2:3:4:5:6:7::8", "1:2:3:4:5:6:7:8::", "::1%lo", "[::1]", " ::1", "::1.2.3",
                             "::1.2.3.04", "g::", "1.2.3.4"})
        EXPECT_FALSE(ParseIPv6Address(text, bytes)) << text;
    EXPECT_TRUE(IsIPAddressText("127.0.0.1"));
    EXPECT_TRUE(IsIPAddressText("::1"));
    EXPECT_FALSE(IsIPAddressText("localhost"));
}
