// Differential tests: our engine loop (with its plain-text fast path) must
// give exactly what bison's own loop gives on the same input: output,
// diagnostics and status.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace tvconv {
namespace {

using test::convert_bytes;

// Ours runs with each bulk loop of the text fast path.
void expect_same(const std::string& input) {
    auto reference = convert_bytes(input, ParserLoop::bison);
    for (BulkLoop loop : test::kBulkLoops) {
        test::UsingBulkLoop using_loop(loop);
        auto ours = convert_bytes(input, ParserLoop::ours);
        const std::string context =
            std::string(test::name_of(loop)) + ", input: " + input.substr(0, 200);
        ASSERT_EQ(ours.result.status, reference.result.status) << context;
        ASSERT_EQ(ours.result.diagnostics_before_output, reference.result.diagnostics_before_output)
            << context;
        ASSERT_TRUE(ours.result.diagnostics == reference.result.diagnostics) << context;
        ASSERT_EQ(ours.diagnostics, reference.diagnostics) << context;
        ASSERT_EQ(ours.output, reference.output) << context;
    }
}

TEST(Engines, AgreeOnEveryGoldenInput) {
    int count = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(TVCONV_GOLDEN_DIR)) {
        if (e.path().extension() != ".in") continue;
        SCOPED_TRACE(e.path().string());
        expect_same(test::read_file(e.path().string()));
        ++count;
    }
    EXPECT_GT(count, 50);
}

// Pieces that random inputs are made of: text of every byte class,
// escapes, structure, whole constructions and broken ones.
const std::vector<std::string>& fragments() {
    static const std::vector<std::string> f = {
        "a",
        "bc",
        "main",
        "m",
        "MIME_TYPES",
        " ",
        "\t",
        "\n",
        "\n\n",
        "\r\n",
        std::string(1, '\0'),
        "\xff",
        "\x80\xfe",
        "0",
        "42",
        ".",
        "\"",
        "(",
        ")",
        "{",
        "}",
        "%",
        "*+-/\\",
        "$",
        "$$",
        "$$$",
        "^^",
        "^;",
        ";",
        "[",
        "]",
        "^",
        "^ ",
        "^[",
        "@",
        "\n@main\n",
        "\n@main[a;b]x\n",
        "\n@m[p]t\n",
        "\n@MIME_TYPES\n",
        "^if[",
        "^if[a;b]",
        "^if[a;b;c]",
        "^var[n;.;v]",
        "^var[i;+;1]",
        "^item[x]",
        "^context[t;",
        "^context[t;^menu[^item[x]]]",
        "^match[p;o;",
        "^match[(a);;xa]",
        "^match[a+;g;^item[1];xaay]",
        "^sort[a;-n]",
        "^sort[a;",
        "^char[65]",
        "^char[",
        "^optimize[no]",
        "^optimize[",
        "^macro_new[x;b]",
        "^macro_new[",
        "^config[join;s;b]",
        "^sql[q;1;2]",
        "^date[%d]",
        "^eval[",
        "]",
        ";",
        "]]",
        "^uri[]",
        "^query[",
        "^-f[x]",
        "^iffy",
        "^IF[x]",
        "^ifd",
        "^macro_use[a.cfg]",
        "^server[h;b]",
        "^rem[",
        "^level[a;b]",
    };
    return f;
}

std::string random_input(std::mt19937& rng, int pieces) {
    const auto& f = fragments();
    std::uniform_int_distribution<std::size_t> pick(0, f.size() - 1);
    std::string s;
    for (int i = 0; i < pieces; ++i) s += f[pick(rng)];
    return s;
}

TEST(Engines, AgreeOnRandomInputs) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> length(0, 60);
    for (int i = 0; i < 4000; ++i) expect_same(random_input(rng, length(rng)));
}

// Balanced inputs get past the first construction, so they reach much
// further into the text paths than random ones.
TEST(Engines, AgreeOnLongValidInputs) {
    std::mt19937 rng(7);
    const std::vector<std::string> text = {
        "plain text ",        "$x ",      "(a){b}", "\"q\"", ";",  "\n",  "\r\n", " \t ",
        std::string(1, '\0'), "\xe9\xff", "^^",     "^;",    "$$", "[x]", "^ "};
    const std::vector<std::string> open = {"^if[", "^eval[", "^context[t;", "^menu[", "^rem["};
    const std::vector<std::string> middle = {";", ";", ";", "", ""};
    for (int n = 0; n < 200; ++n) {
        std::string s = n % 3 == 0 ? "lead\n@main[]\n" : "";
        for (int i = 0; i < 40; ++i) {
            s += text[rng() % text.size()];
            std::size_t k = rng() % open.size();
            if (rng() % 3 == 0) {
                s += open[k] + text[rng() % text.size()];
                if (k == 0 || k == 2) s += middle[0] + text[rng() % text.size()];
                s += "]";
            }
        }
        expect_same(s);
    }
}

constexpr std::size_t kRead = ScannerState::kDefaultReadBlock;

TEST(Engines, AgreeAcrossReadBoundaries) {
    const std::vector<std::string> probes = {"^if[a;b]",   "$$",      "^^",   "^;",
                                             "\n@main\nx", "\n@x\nb", "a\nb", "[x;y]",
                                             "^iffy",      "$",       "\r\n", std::string(1, '\0')};
    for (const auto& probe : probes) {
        for (int shift = 0; shift < 4; ++shift) {
            for (std::size_t boundary : {kRead, 2 * kRead, 3 * kRead}) {
                std::string pad(boundary - static_cast<std::size_t>(shift), 'a');
                for (std::size_t i = 100; i < pad.size(); i += 97) pad[i] = '\n';
                expect_same(pad + probe + " tail");
                expect_same("^rem[" + pad.substr(5) + probe + "]" + " tail");
            }
        }
    }
}

// Operator names are looked up whole and the structure around them is
// taken ahead of the parser: every keyword, in text and in arguments,
// complete, cut short, run on into more name bytes, or followed by a
// structure token the grammar does not expect there.
TEST(Engines, AgreeOnEveryOperatorKeyword) {
    for (const char* k : test::operator_keywords()) {
        const std::string kw = std::string("^") + k;
        for (const std::string& s : {
                 "x" + kw + "[a;b]y\n",
                 "^if[" + kw + "[a];" + kw + "[b;c;d]]" + kw + "[]",
                 "[" + kw + "[[x]]]",
                 kw + "[" + kw + "[" + kw + "[a]]]]",
                 kw + "x[a]",
                 kw + "_x[a]",
                 kw + "^" + k + "[a]",
                 kw + "]",
                 kw + ";",
                 kw + "[;;;;;;;;]",
                 kw + "\n[a]",
                 kw + "[",
             }) {
            SCOPED_TRACE(s);
            expect_same(s);
        }
        // The name cut by the end of the data read so far.
        for (std::size_t cut = 0; cut <= kw.size() + 1; ++cut) {
            std::string pad(kRead - cut, 'a');
            expect_same(pad + kw + "[a]b");
        }
    }
}

// Near the 10000-entry stack limit the fast path must not change where the
// overflow happens: text runs of one, two and three bytes at the innermost
// level of nestings a few levels either side of the limit.
TEST(Engines, AgreeNearTheStackLimit) {
    struct Nesting {
        const char* prefix;  // around all levels
        const char* open;    // one level
        const char* suffix;
        int from, to;
    };
    const Nesting nestings[] = {
        // In first arguments each level takes 4 entries above the bottom 2.
        {"", "^eval[", "", 2497, 2500},
        // In second arguments each level takes 6; at 1666 levels a blank
        // run needs the last free entries.
        {"", "^if[c;", "", 1664, 1667},
        // Inside the code argument of ^match (9 entries) and a second
        // argument (6), first arguments reach odd depths too.
        {"^match[p;o;^if[c;", "^eval[", "]]", 2493, 2496},
    };
    for (const auto& n : nestings) {
        for (int depth = n.from; depth <= n.to; ++depth) {
            for (const char* inner :
                 {"x", "xy", "x y", " \n ", "x \n ", "^item[x]", "a^var[x  \ty]b",
                  "^if[^item[x];y]", "^if[^var[x];^item[y];^var[z]]"}) {
                std::string s = n.prefix;
                for (int i = 0; i < depth; ++i) s += n.open;
                s += inner;
                s += std::string(static_cast<std::size_t>(depth), ']');
                s += n.suffix;
                SCOPED_TRACE(std::string(n.open) + " " + std::to_string(depth) + " " + inner);
                expect_same(s);
            }
        }
    }
}

// Reads of any size give the same conversion: with reads of one byte, every
// byte stands on a boundary, and the fast path sees only what has been read.
Result convert_reading(const std::string& input, ParserLoop loop, std::size_t read_block) {
    ConvertOptions options;
    options.loop = loop;
    options.read_block = read_block;
    return convert(input, options);
}

void expect_same_at_every_read_size(const std::string& input) {
    const Result whole = convert_reading(input, ParserLoop::bison, kRead);
    const std::string output = whole.output.str();
    for (std::size_t read_block : {1u, 2u, 3u, 5u, 64u, 4097u}) {
        for (ParserLoop loop : {ParserLoop::ours, ParserLoop::bison}) {
            const Result r = convert_reading(input, loop, read_block);
            const std::string context = "reads of " + std::to_string(read_block) + ", " +
                                        (loop == ParserLoop::ours ? "ours" : "bison's") +
                                        ", input: " + input.substr(0, 200);
            ASSERT_EQ(r.status, whole.status) << context;
            ASSERT_EQ(r.diagnostics_before_output, whole.diagnostics_before_output) << context;
            ASSERT_TRUE(r.diagnostics == whole.diagnostics) << context;
            ASSERT_TRUE(r.output.str() == output) << context;
        }
    }
}

TEST(Engines, AgreeAtEveryReadSize) {
    std::vector<std::string> golden;
    for (const auto& e : std::filesystem::recursive_directory_iterator(TVCONV_GOLDEN_DIR)) {
        if (e.path().extension() != ".in") continue;
        SCOPED_TRACE(e.path().string());
        golden.push_back(test::read_file(e.path().string()));
        expect_same_at_every_read_size(golden.back());
    }
    ASSERT_GT(golden.size(), 50u);
    std::mt19937 rng(24);
    std::uniform_int_distribution<int> length(0, 60);
    for (int i = 0; i < 300; ++i) expect_same_at_every_read_size(random_input(rng, length(rng)));
    // Golden inputs one after another, each ending where the next begins:
    // long inputs whose constructions stand across many reads.
    for (int i = 0; i < 10; ++i) {
        std::string s;
        while (s.size() < 20000) s += golden[rng() % golden.size()];
        expect_same_at_every_read_size(s);
    }
}

// ^item and ^var of one argument are converted inside a text run. Every
// byte in the argument, in every setting the run meets them in: text,
// arguments, a header, a context, a plain "[" that makes the "]" text, and
// shapes that are near misses.
TEST(Engines, AgreeOnConstructionsTakenInARun) {
    for (int b = 0; b < 256; ++b) {
        const std::string c(1, static_cast<char>(b));
        for (const std::string& s : {
                 "x^item[a" + c + "b]y",
                 "^var[" + c + "]",
                 "^if[^var[a" + c + "];^item[" + c + "];" + c + "]",
                 "^eval[[^var[" + c + "]y];^item[x]]" + c + "]",
             }) {
            SCOPED_TRACE(b);
            expect_same(s);
        }
    }
    for (const char* s : {
             "^item[]^var[]",
             "a\n^item[x]^var[y]\n^macro_exists[z] b",
             "^context[shop;^item[a] ^if[^item[b];^var[c];d]]^item[e]",
             "^menu[^item[x]^context[t;^item[y]]]",
             "\n@m[^item[a];^var[b]]^item[c]\n^item[d]",
             "\n@m\n^item[x]main\n@MIME_TYPES\n^var[y]MIME_TYPES",
             "^match[p;o;^item[x]^var[y];^item[z]]",
             "^item[x;y]^var[a;.;b]^var[a;+;b]^item [x]^itemx[y]^item[x]]",
             "^item[x^var[y]]^var[[x]]^item[x\ny]^item[x",
             "^itemx]",
             "a^var;b]c",
             "^items[x]",
             "^var]",
             "^if[[^item[x];^var[y]]]^eval[[^var[x]y];z]",
             "^^item[x]^;^var[y]$^item[z]$$^var[w]",
             // Queued whole after a "[" or ";": helpers registered by the
             // constructions before them first, and keywords that expect
             // no expression there.
             "^counter[a]^item[b]^if[^counter[c];^item[d]]^date[x]^var[e]",
             "^uri[^var[x]]",
             "^query[^item[x]]",
             "^char[^var[x]]",
             "^optimize[^var[x]]",
             "^sort[a;^var[b]]",
             "^macro_new[^var[x];y]",
             "^match[a;b;^item[c]]",
             "^context[^var[t];^item[x]]",
             "^if[^var[a];^item[b];^var[c]",
             "^if[^var[a]^var[b]^var[c]^var[d]^var[e]^var[f]^var[g]^var[h]^var[i];x]",
             "@m[^var[a];^item[b]]\n^if[^var[c];^item[d]]",
         }) {
        SCOPED_TRACE(s);
        expect_same(s);
        expect_same_at_every_read_size(s);
    }
}

// Generated pages of constructions taken in runs among text, nested and
// cut at every point by the reads.
TEST(Engines, AgreeOnGeneratedConstructionsInRuns) {
    std::mt19937 rng(95);
    const std::vector<std::string> pieces = {"<td class=\"a\">",
                                             "^item[name]",
                                             "^var[x]",
                                             "^if[^var[a];^item[b];c]",
                                             "$5.00",
                                             ";",
                                             "\n",
                                             "  ",
                                             "^item[a b]",
                                             "^var[1.5]",
                                             "(x)",
                                             "^item[]",
                                             "^if[^item[a];^if[^var[b];c;d];-]"};
    for (int n = 0; n < 60; ++n) {
        std::string s = n % 2 ? "@main\n" : "";
        const int count = static_cast<int>(rng() % 80);
        for (int i = 0; i < count; ++i) s += pieces[rng() % pieces.size()];
        SCOPED_TRACE(s);
        expect_same(s);
        if (n < 10) expect_same_at_every_read_size(s);
    }
    // A construction standing across a read boundary, at every offset.
    for (const std::string probe : {"^item[abc]", "^var[x y]"}) {
        for (std::size_t cut = 0; cut <= probe.size(); ++cut) {
            const std::string pad(kRead - cut, 'a');
            expect_same(pad + probe + "b^item[c]");
            expect_same("^if[" + pad.substr(4) + probe + ";^var[d]]");
        }
    }
}

// A read size of 0, or one past the largest, is taken as the nearest that
// can be used.
TEST(Engines, ReadSizesOutOfRangeAreClamped) {
    const std::string input = "^if[a;b] (x) $y\n@main\n^item[z]";
    const std::string expected = convert_reading(input, ParserLoop::ours, kRead).output.str();
    EXPECT_EQ(convert_reading(input, ParserLoop::ours, 0).output.str(), expected);
    EXPECT_EQ(convert_reading(input, ParserLoop::ours, std::size_t{1} << 40).output.str(),
              expected);
}

}  // namespace
}  // namespace tvconv
