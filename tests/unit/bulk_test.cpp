// The bulk loops of the text fast path against bison's own loop, which takes
// every token from the scanner: every byte value at every offset of a
// stretch, in text, in arguments and in blank runs, and stretches that end on
// both sides of the scanner's reads. Each input ends with a
// diagnostic that quotes its line, so a line feed counted wrong shows.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support.h"

namespace tvconv {
namespace {

using test::convert_bytes;

// Where a stretch is taken: around it, the text before and after.
struct Setting {
    const char* before;
    const char* after;
};
constexpr Setting kSettings[] = {
    {"", ""},          // text
    {"^if[", ";x]"},   // a first argument
    {"^if[c;", "]"},   // a later argument
    {"^var[v]", " "},  // text after a construction
    {"^rem[[", "]]"},  // inside plain brackets of an argument
    {"@x\n", "\n"},    // a header's section, before its first construction
};

// Offsets that put a byte at every position of a 16-byte and an 8-byte
// block, and past the first blocks.
constexpr int kOffsets = 35;

// Stretches of plain bytes, some with line feeds and escapes in them and
// blanks only, with `byte` after `offset` bytes of them.
std::vector<std::string> inputs_with(unsigned char byte) {
    const std::string b(1, static_cast<char>(byte));
    std::vector<std::string> inputs;
    for (const Setting& s : kSettings) {
        for (int offset = 0; offset < kOffsets; ++offset) {
            const auto n = static_cast<std::size_t>(offset);
            std::string letters(n, 'x');
            std::string mixed;
            for (std::size_t i = 0; i < n; ++i) mixed += "ab\n\"c(d ;e"[i % 10];
            std::string blanks;
            for (std::size_t i = 0; i < n; ++i) blanks += " \t \n"[i % 4];
            for (const std::string& run : {letters, mixed, blanks, letters + "\n"}) {
                inputs.push_back(std::string(s.before) + run + b + "yz" + run + s.after +
                                 "\n^ascii[z]\n");
            }
        }
    }
    return inputs;
}

// Escapes that the byte after their first decides ("$" alone and "$$",
// "^^" and "^;" against a caret before a name): `first` then every second
// byte, after stretches of every length, and at the end of the input, where
// the syntax error quotes the last token's text.
std::vector<std::string> inputs_with_pairs(char first) {
    std::vector<std::string> inputs;
    for (int second = 0; second < 256; ++second) {
        const std::string pair{first, static_cast<char>(second)};
        for (int offset = 0; offset < kOffsets; ++offset) {
            const auto n = static_cast<std::size_t>(offset);
            std::string mixed;
            std::string argument;  // no separator in it
            for (std::size_t i = 0; i < n; ++i) {
                mixed += "ab\n\"c(d ;e"[i % 10];
                argument += "ab\n\"c(d )e"[i % 10];
            }
            if (offset % 3 == 0)
                for (const Setting& s : {kSettings[0], kSettings[1], kSettings[4]})
                    inputs.push_back(std::string(s.before) + mixed + pair + pair + "yz" + mixed +
                                     s.after + "\n^ascii[z]\n");
            inputs.push_back("^if[" + argument + pair);
        }
    }
    return inputs;
}

// The size of the scanner's reads, where the data read so far ends.
constexpr auto kRead = static_cast<int>(ScannerState::kDefaultReadBlock);

// Around a read boundary: stretches that end at every offset of the block
// width either side of the first read's end, then `tail`.
std::vector<std::string> inputs_across_reads(const std::string& tail) {
    std::vector<std::string> inputs;
    for (int shift = -20; shift <= 20; ++shift) {
        std::string pad(static_cast<std::size_t>(kRead + shift), 'p');
        for (std::size_t i = 50; i < pad.size(); i += 61) pad[i] = '\n';
        for (std::size_t i = 77; i < pad.size(); i += 89) pad[i] = '"';
        inputs.push_back(pad + tail + "\n^ascii[z]\n");
        inputs.push_back("^rem[" + pad + tail + "]\n^ascii[z]\n");
    }
    return inputs;
}

struct Difference {
    bool found = false;
    std::string input;
    const char* loop = "";
};

// The first input on which our loop, with each of `loops` selected in turn,
// differs from bison's (whose conversion of each input is made once).
Difference first_difference(const std::vector<std::string>& inputs,
                            std::initializer_list<BulkLoop> loops = {
                                BulkLoop::ssse3, BulkLoop::sse2, BulkLoop::portable}) {
    for (const std::string& input : inputs) {
        auto reference = convert_bytes(input, ParserLoop::bison);
        for (BulkLoop loop : loops) {
            test::UsingBulkLoop using_loop(loop);
            auto ours = convert_bytes(input, ParserLoop::ours);
            if (ours.status != reference.status || ours.output != reference.output ||
                ours.diagnostics != reference.diagnostics)
                return {true, input, test::name_of(loop)};
        }
    }
    return {};
}

TEST(BulkLoops, AgreeWithBisonOnEveryByteAtEveryOffset) {
    for (int byte = 0; byte < 256; ++byte) {
        Difference d = first_difference(inputs_with(static_cast<unsigned char>(byte)));
        EXPECT_FALSE(d.found) << d.loop << ", byte " << byte
                              << ", input: " << d.input.substr(0, 200);
    }
}

TEST(BulkLoops, AgreeWithBisonOnEscapesOfTwoBytes) {
    for (char first : {'$', '^', ';'}) {
        Difference d = first_difference(inputs_with_pairs(first));
        EXPECT_FALSE(d.found) << d.loop << ", input: " << d.input.substr(0, 200);
    }
}

TEST(BulkLoops, AgreeWithBisonAcrossReadBoundaries) {
    const std::string tails[] = {"$",    "$$x",      "\"", "\n@m\nx", ";",
                                 "^^",   "^if[a;b]", "]x", "[x]",     std::string(1, '\0'),
                                 "\n\n", "  \t",     "@x"};
    for (const std::string& tail : tails) {
        Difference d = first_difference(inputs_across_reads(tail));
        EXPECT_FALSE(d.found) << d.loop << ", tail " << tail;
    }
}

// In a header's section, before its first construction, "m" and "M" may
// begin the keywords "main" and "MIME_TYPES": the loops walk the automaton
// there. Each prefix of both, whole, and run on, after stretches of every
// length, at the end of the input, and on both sides of a read boundary.
TEST(BulkLoops, AgreeWithBisonOnHeaderKeywordsInAHeaderSection) {
    const std::string words[] = {"m",     "M",  "ma",          "mai",        "main",
                                 "mainx", "MI", "MIME_TYPE",   "MIME_TYPES", "MIME_TYPESx",
                                 "mm",    "Mm", "mMIME_TYPES", "m\n",        std::string("M\0", 2)};
    std::vector<std::string> inputs;
    for (const std::string& w : words) {
        for (int offset = 0; offset < kOffsets; ++offset) {
            const std::string run(static_cast<std::size_t>(offset), "ab \"c"[offset % 5]);
            for (const char* header : {"@x\n", "@x[a]\n", "@main\n", "@x\n\n"}) {
                inputs.push_back(header + run + w + " " + run + w + "\n^ascii[z]\n");
                inputs.push_back(header + run + w);
            }
        }
        for (int shift = -12; shift <= 2; ++shift) {
            std::string pad(static_cast<std::size_t>(kRead + shift - 3), 'p');
            for (std::size_t i = 50; i < pad.size(); i += 61) pad[i] = '\n';
            inputs.push_back("@x\n" + pad + w + "y\n^ascii[z]\n");
        }
    }
    Difference d = first_difference(inputs);
    EXPECT_FALSE(d.found) << d.loop << ", input: " << d.input.substr(0, 80);
}

// A line feed in the same lane of every block of a long stretch: a loop that
// tallies them per lane must not let one overflow.
TEST(BulkLoops, CountLineFeedsInEveryBlockOfLongStretches) {
    std::vector<std::string> inputs;
    for (int shift = 0; shift < 16; ++shift) {
        std::string text(static_cast<std::size_t>(shift), 'y');
        for (int i = 0; i < 1200; ++i) text += "abcdefghijklmno\n";
        inputs.push_back(text + "^ascii[z]\n");
        inputs.push_back("^rem[" + text + "]\n^ascii[z]\n");
    }
    Difference d = first_difference(inputs);
    EXPECT_FALSE(d.found) << d.loop << ", input: " << d.input.substr(0, 40);
}

// The check of the check: a bulk loop that lets through one byte that is
// not plain (an escape, a structure byte, a NUL, "@" at a line start) must
// convert some of the inputs above differently.
TEST(BulkLoops, ALoopThatLetsOneByteThroughIsCaught) {
    const std::string not_plain("\0\"$();@[]^{}", 12);
    for (BulkLoop loop : test::kBulkLoops) {
        for (char c : not_plain) {
            const auto byte = static_cast<unsigned char>(c);
            let_through_bulk_loops(byte);
            Difference d = first_difference(inputs_with(byte), {loop});
            let_through_bulk_loops(-1);
            EXPECT_TRUE(d.found) << test::name_of(loop) << ": byte " << int{byte}
                                 << " let through went unnoticed";
        }
    }
}

}  // namespace
}  // namespace tvconv
