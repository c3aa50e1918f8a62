// The words and numbers of the simulator's texts (profile files, device and
// controller keys, control-socket requests): the one number syntax with its
// bounds and the junk it refuses, and how texts split into words.
#include "qvsim_parse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvsim {
namespace {

TEST(SimParse, NumbersAreDecimalOrHexWithinTheirBound) {
    struct Case {
        const char* text;
        uint64_t max;
        std::optional<uint64_t> value;
    };
    const Case cases[] = {
        // Decimal and hexadecimal, either case of the prefix and the digits.
        {"0", 0xFF, 0},
        {"255", 0xFF, 255},
        {"007", 0xFF, 7},
        {"0x1F", 0xFF, 0x1F},
        {"0X1f", 0xFF, 0x1F},
        {"0xff", 0xFF, 0xFF},
        {"0x0", 0xFF, 0},
        {"18446744073709551615", UINT64_MAX, UINT64_MAX},
        {"0xFFFFFFFFFFFFFFFF", UINT64_MAX, UINT64_MAX},
        // The bound is part of the number's syntax.
        {"256", 0xFF, std::nullopt},
        {"0x100", 0xFF, std::nullopt},
        {"0xFFFF", 0xFFFF, 0xFFFF},
        {"65536", 0xFFFF, std::nullopt},
        {"18446744073709551616", UINT64_MAX, std::nullopt},  // beyond 64 bits
        {"0x10000000000000000", UINT64_MAX, std::nullopt},
        // Junk: nothing, a bare prefix, signs, blanks, other bases, trailing text.
        {"", 0xFF, std::nullopt},
        {"0x", 0xFF, std::nullopt},
        {"x1", 0xFF, std::nullopt},
        {"-1", 0xFF, std::nullopt},
        {"+1", 0xFF, std::nullopt},
        {"0x-1", 0xFF, std::nullopt},
        {"0x+1", 0xFF, std::nullopt},
        {" 1", 0xFF, std::nullopt},
        {"1 ", 0xFF, std::nullopt},
        {"1F", 0xFF, std::nullopt},
        {"12abc", 0xFFFF, std::nullopt},
        {"0x1G", 0xFF, std::nullopt},
        {"0b101", 0xFF, std::nullopt},
        {"1.5", 0xFF, std::nullopt},
        {"none", 0xFF, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        EXPECT_EQ(parseNumber(c.text, c.max), c.value);
    }
}

TEST(SimParse, TextsSplitIntoWordsAtBlanksAndOptionallyCommas) {
    using Words = std::vector<std::string>;
    struct Case {
        const char* text;
        bool commas;
        Words words;
        std::string afterFirst;
    };
    const Case cases[] = {
        {"", false, {}, ""},
        {" \t ", false, {}, ""},
        {"one", false, {"one"}, ""},
        {"  one  ", false, {"one"}, ""},
        {"touch 0x71 10 20", false, {"touch", "0x71", "10", "20"}, "0x71 10 20"},
        {"a\tb \t c", false, {"a", "b", "c"}, "b \t c"},
        {"a\r\n\v\fb", false, {"a", "b"}, "b"},
        // Commas separate only where asked; the text after the first word keeps them.
        {"0x82,0, 0 ,0", false, {"0x82,0,", "0", ",0"}, "0 ,0"},
        {"0x82,0, 0 ,0", true, {"0x82", "0", "0", "0"}, "0 ,0"},
        {",,", true, {}, ""},
        {"/sim/hid raw0  set", false, {"/sim/hid", "raw0", "set"}, "raw0  set"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'" + (c.commas ? " with commas" : ""));
        EXPECT_EQ(splitWords(c.text, c.commas), c.words);
        EXPECT_EQ(afterFirstWord(c.text), c.afterFirst);
    }
}

}  // namespace
}  // namespace qvsim
