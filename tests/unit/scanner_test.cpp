// Token sequences for the scanner's tricky cases.
#include "lexer/scanner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "context/conversion.h"
#include "grammar/syntax_error.h"

namespace tvconv {
namespace {

// Scans `input` completely and renders the tokens as "NAME 'text'" lines,
// where text is the token's value ("-" for tokens without one).
std::string tokens(const std::string& input) {
    std::string buffer = input;
    std::FILE* in =
        input.empty() ? std::fopen("/dev/null", "r") : fmemopen(buffer.data(), buffer.size(), "r");
    std::string result;
    {
        Conversion cv(in);
        scanner_create(cv);
        for (;;) {
            Text* value = nullptr;
            int code = next_token(&value, cv.scan.flex);
            if (code == 0) break;
            result += symbol_name(code - 254);
            result += value ? " '" + std::string(value->view()) + "'" : " -";
            result += '\n';
            cv.release(value);
        }
        scanner_destroy(cv.scan);
    }
    std::fclose(in);
    return result;
}

TEST(Scanner, KeywordsNeedNoDelimiterAndBackUpToTheLongestKeyword) {
    EXPECT_EQ(tokens("^iffy"), "BIRD -\nIF -\nSYMBOL 'f'\nSYMBOL 'y'\n");
    // "ifd" starts "ifdef" but goes no further: back up to "if".
    EXPECT_EQ(tokens("^ifdx"), "BIRD -\nIF -\nSYMBOL 'd'\nSYMBOL 'x'\n");
    EXPECT_EQ(tokens("^ifdef["), "BIRD -\nIFDEF -\nSQBRO -\n");
    EXPECT_EQ(tokens("^IF[x]"),
              "BIRD -\nSYMBOL 'I'\nSYMBOL 'F'\nSYMBOL '['\nSYMBOL 'x'\nSYMBOL ']'\n");
    EXPECT_EQ(tokens("^macro_x"), "BIRD -\nMACRO -\nSYMBOL '_'\nSYMBOL 'x'\n");
    EXPECT_EQ(tokens("^macro_new["), "BIRD -\nMACRO_NEW -\nSQBRO -\n");
    EXPECT_EQ(tokens("^loadtimestamp["), "BIRD -\nLOADTIMESTAMP -\nSQBRO -\n");
    EXPECT_EQ(tokens("-f^-f["), "MATH '-'\nSYMBOL 'f'\nBIRD -\nMINUSF -\nSQBRO -\n");
}

TEST(Scanner, EscapePairsComeBeforeSingleCharacters) {
    EXPECT_EQ(tokens("$$$"), "EDOLLAR '$$'\nDOLLAR '$'\n");
    EXPECT_EQ(tokens("^^^"), "EBIRD '^^'\nBIRD -\n");
    EXPECT_EQ(tokens("^;x"), "ESEMI '^;'\nSYMBOL 'x'\n");
    // In an operator name, "$" and escapes keep the name state open.
    EXPECT_EQ(tokens("^$if"), "BIRD -\nDOLLAR '$'\nIF -\n");
}

TEST(Scanner, SemicolonIsAnEscapeInTextAndASeparatorInParameters) {
    EXPECT_EQ(tokens("a;b"), "SYMBOL 'a'\nESEMI '^;'\nSYMBOL 'b'\n");
    EXPECT_EQ(tokens("^if[a;b]"),
              "BIRD -\nIF -\nSQBRO -\nSYMBOL 'a'\nSEMI -\nSYMBOL 'b'\nSQBRC -\n");
}

TEST(Scanner, PlainBracketsInsideParametersAreTextAndCountedAcrossLevels) {
    EXPECT_EQ(tokens("^if[a[b;c]d;e]x"),
              "BIRD -\nIF -\nSQBRO -\nSYMBOL 'a'\nSYMBOL '['\nSYMBOL 'b'\nSYMBOL ';'\n"
              "SYMBOL 'c'\nSYMBOL ']'\nSYMBOL 'd'\nSEMI -\nSYMBOL 'e'\nSQBRC -\nSYMBOL 'x'\n");
    EXPECT_EQ(tokens("^if[^eq[x]];"),
              "BIRD -\nIF -\nSQBRO -\nBIRD -\nEQ -\nSQBRO -\nSYMBOL 'x'\nSQBRC -\nSQBRC -\n"
              "ESEMI '^;'\n");
    // One bracket counter serves all levels: the inner list's "]" closes the
    // plain "[" of the outer one.
    EXPECT_EQ(tokens("^if[[^eq[x]]]"),
              "BIRD -\nIF -\nSQBRO -\nSYMBOL '['\nBIRD -\nEQ -\nSQBRO -\nSYMBOL 'x'\n"
              "SYMBOL ']'\nSQBRC -\nSQBRC -\n");
    // Outside parameter lists brackets are plain text.
    EXPECT_EQ(tokens("]["), "SYMBOL ']'\nSYMBOL '['\n");
}

TEST(Scanner, AtSignOpensAHeaderOnlyAtALineStart) {
    EXPECT_EQ(tokens("@main[]\n"), "DOG -\nMAIN -\nSQBRO -\nSQBRC -\nCR '\n'\n");
    EXPECT_EQ(tokens("@mainx"), "DOG -\nMAIN -\nSYMBOL 'x'\n");
    EXPECT_EQ(tokens("@MIME_TYPES\n"), "DOG -\nMIME_TYPES -\nCR '\n'\n");
    EXPECT_EQ(tokens("x@"), "SYMBOL 'x'\nSYMBOL '@'\n");
    EXPECT_EQ(tokens("\n @"), "CR '\n'\nSPACE ' '\nSYMBOL '@'\n");
    // A line feed in a header does not end it; a new "@" starts another.
    EXPECT_EQ(tokens("@a\n@b"), "DOG -\nSYMBOL 'a'\nCR '\n'\nDOG -\nSYMBOL 'b'\n");
    // After a caret and a line feed the "@" is scanned in the operator-name
    // state, which hands it back as text: the line-start flag was cleared by
    // the hand-back.
    EXPECT_EQ(tokens("^\n@x"), "BIRD -\nCR '\n'\nSYMBOL '@'\nSYMBOL 'x'\n");
    EXPECT_EQ(tokens("^\nif["), "BIRD -\nCR '\n'\nIF -\nSQBRO -\n");
    // An "@" at a line start inside a parameter list opens a header too.
    EXPECT_EQ(tokens("^if[\n@x["), "BIRD -\nIF -\nSQBRO -\nCR '\n'\nDOG -\nSYMBOL 'x'\nSQBRO -\n");
}

TEST(Scanner, ByteClasses) {
    EXPECT_EQ(tokens("12.\"(){}%*+-/\\ \t"),
              "DIGIT '1'\nDIGIT '2'\nPOINT '.'\nQUOTE '\"'\nPARO '('\nPARC ')'\nCURO '{'\n"
              "CURC '}'\nMATH '%'\nMATH '*'\nMATH '+'\nMATH '-'\nMATH '/'\nMATH '\\'\n"
              "SPACE ' '\nTAB '\t'\n");
    EXPECT_EQ(tokens("a\r\n"), "SYMBOL 'a'\nSYMBOL '\r'\nCR '\n'\n");
    // A NUL byte is an ordinary byte whose value is empty.
    EXPECT_EQ(tokens(std::string("a\0b", 3)), "SYMBOL 'a'\nSYMBOL ''\nSYMBOL 'b'\n");
    EXPECT_EQ(tokens(std::string("^\0", 2)), "BIRD -\nSYMBOL ''\n");
    EXPECT_EQ(tokens("\xff\x80"), "SYMBOL '\xff'\nSYMBOL '\x80'\n");
    EXPECT_EQ(tokens(std::string("\0\xff", 2)), "SYMBOL ''\nSYMBOL '\xff'\n");
}

TEST(Scanner, EndOfInputInsideAPossibleLongerMatch) {
    EXPECT_EQ(tokens(""), "");
    EXPECT_EQ(tokens("^i"), "BIRD -\nSYMBOL 'i'\n");
    EXPECT_EQ(tokens("x$"), "SYMBOL 'x'\nDOLLAR '$'\n");
    EXPECT_EQ(tokens("^"), "BIRD -\n");
}

// Inputs larger than one read: whatever stands on the boundary is scanned
// exactly as it would be inside one piece.
TEST(Scanner, ReadBoundaries) {
    const std::string pad(ScannerState::kDefaultReadBlock - 1, 'a');
    const std::string pad_tokens = [&] {
        std::string s;
        for (std::size_t i = 0; i < pad.size(); ++i) s += "SYMBOL 'a'\n";
        return s;
    }();
    for (int shift = 0; shift < 14; ++shift) {
        std::string p = pad.substr(0, pad.size() - static_cast<std::size_t>(shift));
        std::string pt =
            pad_tokens.substr(0, pad_tokens.size() - 11 * static_cast<std::size_t>(shift));
        SCOPED_TRACE(shift);
        EXPECT_EQ(tokens(p + "^loadtimestamp[x]"),
                  pt + "BIRD -\nLOADTIMESTAMP -\nSQBRO -\nSYMBOL 'x'\nSQBRC -\n");
        EXPECT_EQ(tokens(p + "$$^^^;"), pt + "EDOLLAR '$$'\nEBIRD '^^'\nESEMI '^;'\n");
        EXPECT_EQ(tokens(p + "\n@main\n"), pt + "CR '\n'\nDOG -\nMAIN -\nCR '\n'\n");
    }
    // "^" and "i" end the first piece and "x" begins the next: the handed-back
    // "i" stands at the very front of the buffer, so the data moves to its end.
    EXPECT_EQ(tokens(std::string(ScannerState::kDefaultReadBlock - 2, 'a') + "^ix"),
              pad_tokens.substr(11) + "BIRD -\nSYMBOL 'i'\nSYMBOL 'x'\n");
}

TEST(Scanner, LongInputsScanCompletely) {
    std::string input;
    for (int i = 0; i < 5000; ++i) input += "^if[a;b]\n";
    std::string expected;
    for (int i = 0; i < 5000; ++i)
        expected += "BIRD -\nIF -\nSQBRO -\nSYMBOL 'a'\nSEMI -\nSYMBOL 'b'\nSQBRC -\nCR '\n'\n";
    EXPECT_EQ(tokens(input), expected);
}

}  // namespace
}  // namespace tvconv
