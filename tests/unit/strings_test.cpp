// The character code of ^char[literal]: the literal is read like a decimal
// integer and kept modulo 256 however long or negative it is.
#include "translate/strings.h"

#include <gtest/gtest.h>

#include <string>

namespace tvconv::tr {
namespace {

struct CodeCase {
    std::string literal;
    const char* escape;
};

void expect_codes(std::initializer_list<CodeCase> cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE("literal '" + c.literal + "'");
        EXPECT_EQ(char_code_escape(c.literal), c.escape);
    }
}

TEST(CharCode, HexDigitsAreUpperCaseHighNibbleFirst) {
    expect_codes({{"65", "^#41"},
                  {"10", "^#0A"},
                  {"0", "^#00"},
                  {"171", "^#AB"},
                  {"255", "^#FF"},
                  {"300", "^#2C"},
                  {"256", "^#00"}});
}

TEST(CharCode, SignsCountNegativeValuesDownFrom256) {
    expect_codes({{"+65", "^#41"},
                  {"-1", "^#FF"},
                  {"-256", "^#00"},
                  {"-257", "^#FF"},
                  {"-300", "^#D4"},
                  // One sign only; a second, or a blank after it, ends the number.
                  {"+-5", "^#00"},
                  {"--5", "^#00"},
                  {"- 5", "^#00"}});
}

TEST(CharCode, LeadingWhiteSpaceIsSkippedAndTheRestIgnored) {
    expect_codes({{" \t\n\r\v\f65", "^#41"},
                  {"  -1", "^#FF"},
                  {"65abc", "^#41"},
                  {"6 5", "^#06"},
                  {"65.9", "^#41"},
                  {"x65", "^#00"},
                  {"", "^#00"},
                  {"   ", "^#00"}});
}

TEST(CharCode, LongDigitRunsDoNotOverflow) {
    // 10^8 is a multiple of 256, so 10^k - 1 leaves 255 for every k >= 8.
    expect_codes({{"99999999999999999999999", "^#FF"},
                  {"-99999999999999999999999", "^#01"},
                  // 2^64 + 1 and 2^32 + 65: a clamped or wrapped machine
                  // integer gives neither.
                  {"18446744073709551617", "^#01"},
                  {"-18446744073709551617", "^#FF"},
                  {"4294967361", "^#41"},
                  {"9223372036854775872", "^#40"},
                  {std::string(500, '0') + "65", "^#41"},
                  {"1" + std::string(400, '0') + "7", "^#07"}});
}

TEST(CharCode, EscapedTextIsNotANumber) {
    // The argument arrives converted: "$65" is "^$65", "(65)" is "^(65^)".
    expect_codes({{"^$65", "^#00"}, {"^(65^)", "^#00"}, {"^;1", "^#00"}});
}

}  // namespace
}  // namespace tvconv::tr
