#include "cli/hex_argument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/test_random.h"

namespace {

TEST(HexArgument, ReadsLikeTheHexConversion)
{
    struct Case {
        const char* text;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"87200", 0x87200},  {"87000", 0x87000},      {"abcDEF", 0xABCDEF},  {"0x1f", 0x1F},
        {"0X1F", 0x1F},      {" \t\n87", 0x87},       {"+10", 0x10},         {"-1", 0xFFFFFFFF},
        {"-0x10", 0xFFFFFFF0}, {"12junk", 0x12},      {"1 2", 0x1},          {"0x", 0},
        {"0xg", 0},          {"00000000000001", 1},   {"FFFFFFFF", 0xFFFFFFFF}, {"0xFFFFFFFF", 0xFFFFFFFF},
        // More than eight significant digits saturate, whatever the sign.
        {"100000000", 0xFFFFFFFF}, {"-123456789", 0xFFFFFFFF}, {"FFFFFFFFFFFFFFFFFFFF", 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseHexArgument(c.text, 7), c.expected) << '"' << c.text << '"';
    }
}

TEST(HexArgument, NoDigitKeepsTheFallback)
{
    for (const char* text : {"", "Q", "   ", "-", "+", "x12", "- 1", "+-1", "G0"}) {
        EXPECT_EQ(parseHexArgument(text, 0x55), 0x55u) << '"' << text << '"';
    }
}

TEST(HexArgument, AgreesWithTheCLibraryWithinEightDigits)
{
    // The C library's own conversion is the reference wherever it is defined.
    const std::string alphabet = "0123456789abcdefABCDEFxX+- \tgz";
    TestRandom random(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(random.below(9));
        for (int i = 0; i < length; ++i) {
            text += alphabet[random.below(static_cast<std::uint32_t>(alphabet.size()))];
        }
        unsigned value = 0x55;
        std::sscanf(text.c_str(), "%X", &value);
        EXPECT_EQ(parseHexArgument(text.c_str(), 0x55), value) << '"' << text << '"';
    }
}

}  // namespace
