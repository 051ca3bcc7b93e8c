// IPv4 address text: four decimal fields, never octal, hex or short forms.
#include "ipv4.h"

#include <gtest/gtest.h>

namespace kelvarin {
namespace {

TEST(Ipv4, FourDecimalFieldsLeadingZerosMeaningNothing) {
    EXPECT_EQ(ParseDottedQuad("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(ParseDottedQuad("127.000.000.010"), 0x7F00000Au);  // ten, not eight
    EXPECT_EQ(ParseDottedQuad("192.168.002.080"), 0xC0A80250u);
    EXPECT_EQ(ParseDottedQuad("0.0.0.0"), 0u);
    EXPECT_EQ(ParseDottedQuad("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* bad :
         {"", "10.0.0", "10.1", "2130706433", "10.0.0.256", "10.0.0.1.1", "10..0.1", ".10.0.0.1",
          "10.0.0.1.", "0x7f.0.0.1", "10.0.0.0001", " 10.0.0.1", "10.0.0.1 ", "+1.0.0.1",
          "-1.0.0.1", "1e2.0.0.1", "10.0.0.1:502", "localhost"}) {
        EXPECT_FALSE(ParseDottedQuad(bad)) << bad;
    }
}

TEST(Ipv4, TextWrittenAsAnAddressIsNeverAHostName) {
    for (const char* address : {"10.0.0.1", "127.000.000.010", "10.1", "2130706433", "0x7f.1",
                                "0177.0.0.1", "10.0.0.1.", "", "..."}) {
        EXPECT_TRUE(IsAddressText(address)) << address;
    }
    for (const char* name :
         {"localhost", "plc-7.plant.example", "3com.com", "1e100.net", "example.com.", "plc7"}) {
        EXPECT_FALSE(IsAddressText(name)) << name;
    }
}

TEST(Ipv4, PlainFormRoundTrips) {
    EXPECT_EQ(DottedQuadText(0x7F00000Au), "127.0.0.10");
    EXPECT_EQ(DottedQuadText(0), "0.0.0.0");
    EXPECT_EQ(DottedQuadText(*ParseDottedQuad("010.001.000.255")), "10.1.0.255");
}

}  // namespace
}  // namespace kelvarin
