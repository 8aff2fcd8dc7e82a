// Syntax errors, the expected-token lists, the stack limit and what is
// written before an error. Single conversions with their exact messages are
// golden cases under tests/golden/syntax/.
#include <gtest/gtest.h>

#include <string>

#include "grammar/syntax_error.h"
#include "support.h"

namespace tvconv {
namespace {

using test::convert_bytes;

struct ErrorCase {
    const char* input;
    const char* diagnostics;
};

// Every syntax error ends the run with status 1 and, unless it comes after
// the whole document, with nothing written.
TEST(SyntaxError, MessagesAndExpectedTokenLists) {
    const ErrorCase cases[] = {
        // After an operator keyword only its bracket may follow.
        {"^if x", "SPACE, expecting SQBRO"},
        {"^include\n", "CR, expecting SQBRO"},
        {"^optimize", "$, expecting SQBRO"},
        // ^query[] and ^uri[] take nothing between their brackets.
        {"^query[x]", "SYMBOL, expecting SQBRC"},
        {"^uri[ ]", "SPACE, expecting SQBRC"},
        // The two-character sort direction is followed by its bracket.
        {"^sort[price;desc]", "SYMBOL, expecting SQBRC"},
        {"^sort[price;-n ]", "SPACE, expecting SQBRC"},
        // A macro header ends with its line feed.
        {"@x[a]^if[b]\n", "BIRD, expecting CR"},
        {"@main", "$, expecting CR"},
        // Arguments of ^config cut off.
        {"^config[a", "$, expecting SEMI"},
        // Parameter lists of headers, ^macro argument lists and ^match
        // patterns are continued or closed.
        {"@x[a", "$, expecting SQBRC or SEMI"},
        {"^macro[m;a", "$, expecting SQBRC or SEMI"},
        {"^match[p;o;c", "$, expecting SQBRC or SEMI"},
        // With five or more possible tokens no list is given.
        {"^if[a", "$"},
        {"^context[a]", "SQBRC"},
        {"^match[a;b]", "SQBRC"},
        {"^match[a;b;c;d;e]", "SEMI"},
        // Once the first argument of ^macro_new starts as a name, it is a
        // name up to the ";".
        {"^macro_new[a^if[b;c];d]", "BIRD"},
        {"^macro_new[a\nb;c]", "CR"},
        {"^char[6^query[]]", "BIRD"},
        {"^optimize[no^if[a;b]]", "BIRD"},
        // A header "@" inside an argument.
        {"^if[\n@x;b]", "DOG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        auto got = convert_bytes(c.input);
        EXPECT_EQ(got.status, 1);
        EXPECT_EQ(got.output, "");
        EXPECT_EQ(got.diagnostics.substr(0, got.diagnostics.find(" near '")),
                  std::string("Unrecognized sequence (line ") +
                      (std::string(c.input).find("\n@x;") != std::string::npos ? "2" : "1") +
                      "): parse error, unexpected " + c.diagnostics);
    }
}

TEST(SyntaxError, LoneCaretBeforeABracketAfterHelpersAndTaint) {
    // Helper methods and the taint wrapper are part of the document written
    // before an error that follows it.
    auto got = convert_bytes("^item[x]^optimize[no]^[");
    EXPECT_EQ(got.status, 1);
    EXPECT_NE(got.output.find("\n@main[]\n^taint[html][^item[$default_table;x]^^]"),
              std::string::npos);
}

TEST(SyntaxError, HeaderLineFeedIsCountedBeforeALaterBody) {
    // The line feed that ends a header counts before the body is read, so an
    // error on a body's line names that line.
    EXPECT_EQ(convert_bytes("\n\n@m[a]\nbody\n^[").diagnostics.substr(0, 30),
              "Unrecognized sequence (line 5)");
}

std::string nested_evals(int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "^eval[";
    s += "x";
    for (int i = 0; i < depth; ++i) s += "]";
    return s;
}

TEST(ParserStack, GrowsBeyondItsInitialStorageUpToTenThousandEntries) {
    // Each level of nesting in a first argument takes four stack entries
    // (caret, keyword, bracket, argument) on top of the two at the bottom;
    // the innermost character adds one. 2499 levels need 9999 entries, the
    // most that may be in use; at level 2500 the keyword's entry would be the
    // 10000th.
    auto ok = convert_bytes(nested_evals(2499));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.diagnostics, "");
    std::string expected;
    for (int i = 0; i < 2499; ++i) expected += "^eval(";
    expected += "x";
    for (int i = 0; i < 2499; ++i) expected += ")";
    EXPECT_EQ(ok.output, expected);

    auto over = convert_bytes(nested_evals(2500));
    EXPECT_EQ(over.status, 1);
    EXPECT_EQ(over.output, "");
    EXPECT_EQ(over.diagnostics,
              "Unrecognized sequence (line 1): parser stack overflow near 'eval'\n");
}

// A macro body sits on DOG, the name, the parameter list and the header's
// line feed: five entries above the bottom two, as in the grammar, so the
// symbol that counts that line feed must not add a sixth.
TEST(ParserStack, AMacroBodyHasTheSameLimit) {
    auto repeat = [](const char* s, int n) {
        std::string r;
        for (int i = 0; i < n; ++i) r += s;
        return r;
    };
    // 9999 entries at the deepest point: accepted.
    auto deepest = convert_bytes("@x\n" + repeat("^if[", 2497) + "a;b c]" + repeat(";b]", 2496));
    EXPECT_EQ(deepest.status, 0);
    EXPECT_EQ(deepest.diagnostics, "");
    // 9999 entries, then a token that cannot be shifted there.
    auto full = convert_bytes("@x\n" + repeat("^if[", 2498) + "]");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.diagnostics,
              "Unrecognized sequence (line 2): parse error, unexpected SQBRC near ']'\n");
    // The caret's entry is the 10000th.
    auto over = convert_bytes("@x\n" + repeat("^if[", 2499));
    EXPECT_EQ(over.status, 1);
    EXPECT_EQ(over.diagnostics, "Unrecognized sequence (line 2): parser stack overflow near '^'\n");
}

TEST(ParserStack, DeepNestingFailsCleanly) {
    std::string input;
    for (int i = 0; i < 100000; ++i) input += "^if[";
    auto got = convert_bytes(input);
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.output, "");
    EXPECT_EQ(got.diagnostics, "Unrecognized sequence (line 1): parser stack overflow near 'if'\n");
}

TEST(SyntaxErrorMessage, ListsExpectedTokensInOrder) {
    const int two[] = {104, 105};
    EXPECT_EQ(unexpected_message(0, two, 2), "parse error, unexpected $, expecting SQBRC or SEMI");
    EXPECT_EQ(unexpected_message(2, nullptr, 0), "parse error, unexpected $undefined.");
    EXPECT_EQ(symbol_name(1), "error");
    EXPECT_EQ(symbol_name(3), "SYMBOL");
    EXPECT_EQ(symbol_name(100), "INCLUDE");
    EXPECT_EQ(symbol_name(103), "SQBRO");
    EXPECT_EQ(symbol_name(109), "ESEMI");
}

}  // namespace
}  // namespace tvconv
