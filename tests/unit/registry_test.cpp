// The helper-method registry: its equality rule, its order, and whole
// conversions with very many definitions and helper uses.
#include "text/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace tvconv {
namespace {

using test::convert_bytes;
using test::kScaleDown;

TEST(Registry, KeepsFirstRegistrationOrderAndDropsEqualTexts) {
    Registry r;
    EXPECT_TRUE(r.register_helper("@b\n\n"));
    EXPECT_TRUE(r.register_helper("@a\n\n"));
    EXPECT_FALSE(r.register_helper("@b\n\n"));
    r.register_always("@a\n\n");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r.entries()[0], "@b\n\n");
    EXPECT_EQ(r.entries()[1], "@a\n\n");
    EXPECT_EQ(r.entries()[2], "@a\n\n");
}

// A text formatted into the registry is registered by the same rule, and
// kept as it was formatted; one that is dropped leaves no bytes behind.
TEST(Registry, FormattedTextsFollowTheSameRule) {
    const std::string head(80, 'h');
    Registry r;
    EXPECT_TRUE(r.register_format("%s%s", {std::string_view(head), "first"}));
    EXPECT_FALSE(r.register_format("%s%s", {std::string_view(head), "second"}));
    EXPECT_FALSE(r.register_helper(head + "third"));
    EXPECT_TRUE(r.register_format("@%s\n\n", {"a"}));
    EXPECT_FALSE(r.register_helper("@a\n\n"));
    r.register_format_always("@%s\n%d\n", {"a", 12});
    EXPECT_TRUE(r.register_static("@s\n"));
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r.entries()[0], head + "first");
    EXPECT_EQ(r.entries()[1], "@a\n\n");
    EXPECT_EQ(r.entries()[2], "@a\n12\n");
    EXPECT_EQ(r.entries()[3], "@s\n");
    // The entries lie one behind the other: the dropped one took no room.
    EXPECT_EQ(r.entries()[0].data() + r.entries()[0].size(), r.entries()[1].data());
}

// Taken entries keep their bytes, however many chunks of storage they
// needed, after the registry has gone on to new ones.
TEST(Registry, TakenEntriesOutliveTheRegistry) {
    Registry r;
    std::vector<std::string> model;
    for (int i = 0; i < 3000; ++i) {
        model.push_back("@m_" + std::to_string(i) + "\n" + std::string(i % 1000, 'x'));
        r.register_format_always("%s", {std::string_view(model.back())});
    }
    Registry::Entries taken = r.take_entries();
    EXPECT_TRUE(r.empty());
    for (int i = 0; i < 100; ++i) r.register_helper(std::string(5000, 'y'));
    ASSERT_EQ(taken.texts.size(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i) ASSERT_EQ(taken.texts[i], model[i]);
}

TEST(Registry, EqualityLooksAtTheFirstEightyBytes) {
    const std::string head(80, 'h');
    Registry r;
    EXPECT_TRUE(r.register_helper(head + "first"));
    // Same first 80 bytes: equal, whatever follows.
    EXPECT_FALSE(r.register_helper(head + "second"));
    EXPECT_FALSE(r.register_helper(head));
    // A difference within the first 80 bytes makes them different.
    EXPECT_TRUE(r.register_helper(std::string(79, 'h') + "x" + "first"));
    EXPECT_EQ(r.size(), 2u);
}

TEST(Registry, ShortTextsCompareOverTheirOwnLength) {
    Registry r;
    EXPECT_TRUE(r.register_helper("@m_abc[]\nbody\n\n"));
    // A new text that the registered one starts with is equal to it...
    EXPECT_FALSE(r.register_helper("@m_abc"));
    // ...but a registered text shorter than the new one never is.
    EXPECT_TRUE(r.register_helper("@m_abc[]\nbody\n\nmore"));
    EXPECT_TRUE(r.register_helper("@m_ab[]\n\n"));
    EXPECT_FALSE(r.register_helper("@m_ab"));
    EXPECT_EQ(r.size(), 3u);
}

TEST(Registry, ManyEntriesStayIndexed) {
    Registry r;
    for (int i = 0; i < 20000; ++i) r.register_helper("@m_" + std::to_string(i) + "[]\n\n");
    for (int i = 0; i < 20000; ++i)
        EXPECT_FALSE(r.register_helper("@m_" + std::to_string(i) + "[]\n\n"));
    EXPECT_EQ(r.size(), 20000u);
}

// Definitions named m0, m1, ...; every tenth one repeats the name before it
// with another body, and both bodies are long enough for the method texts
// to agree over their first 80 bytes: the repeat is equal and dropped.
std::string many_definitions(int n, std::string* expected) {
    const std::string filler(80, 'b');
    std::string input = "leading text\n";
    if (expected) expected->clear();
    for (int i = 0; i < n; ++i) {
        bool repeat = i % 10 == 9;
        // Built by appending: GCC 12 warns falsely (-Wrestrict) on
        // "m" + std::to_string(...) once this is inlined here.
        std::string name = "m";
        name += std::to_string(repeat ? i - 1 : i);
        std::string body = (i % 10 >= 8 ? filler : "") + std::to_string(i) + "\n";
        input += "@" + name + "\n" + body;
        if (expected && !repeat) *expected += "@m_" + name + "[]\n" + body + "\n\n";
    }
    input += "@main\nx\n";
    if (expected) *expected += "\n@main[]\nx\n";
    return input;
}

// The sanitizer build runs a tenth of the counts below.
const int kMany = 100000 / static_cast<int>(kScaleDown);

// How the time grows with these counts is measured by bench/scaling.py,
// not here: a timed test would only be as reliable as the machine's load.
TEST(Registry, HundredThousandDefinitions) {
    std::string expected;
    const std::string input = many_definitions(kMany, &expected);
    auto got = convert_bytes(input);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.diagnostics, "");
    EXPECT_TRUE(got.output == expected);
}

TEST(Registry, HundredThousandUsesOfOneHelper) {
    // ^item registers its helper method; the prologue holds it once, as
    // after a single use.
    const std::string use = "^item[price]";
    const std::string body = "^item[$default_table;price]";
    auto once = convert_bytes(use);
    ASSERT_EQ(once.status, 0);
    ASSERT_GT(once.output.size(), body.size());
    ASSERT_EQ(once.output.substr(once.output.size() - body.size()), body);
    const std::string prologue = once.output.substr(0, once.output.size() - body.size());
    ASSERT_EQ(prologue.substr(prologue.size() - 9), "\n@main[]\n");

    auto uses = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += use;
        return s;
    };
    const std::string input = uses(kMany);
    auto got = convert_bytes(input);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.diagnostics, "");
    std::string expected = prologue;
    for (int i = 0; i < kMany; ++i) expected += body;
    EXPECT_TRUE(got.output == expected);
}

// The equality of helper texts, checked against its definition: a
// registered text r equals a new text t when strncmp(r, t, n) == 0 with n
// the smaller of t's length and 80.
TEST(Registry, EqualityIsABoundedStringComparisonOfTheNewTextsLength) {
    std::mt19937 random(12);
    const std::string bases[] = {std::string(100, 'a'), std::string(40, 'a') + std::string(60, 'b'),
                                 std::string(79, 'a') + "b" + std::string(20, 'a')};
    Registry registry;
    std::vector<std::string> model;
    for (int i = 0; i < 5000; ++i) {
        // Random cuts of a few long texts, some with a changed byte, so that
        // prefixes, equal heads and differences around byte 80 all occur.
        std::string t = bases[random() % 3].substr(0, random() % 101);
        if (!t.empty() && random() % 4 == 0) t[random() % t.size()] = 'c';
        std::size_t n = std::min<std::size_t>(t.size(), 80);
        bool equal = std::any_of(model.begin(), model.end(), [&](const std::string& r) {
            return std::strncmp(r.c_str(), t.c_str(), n) == 0;
        });
        ASSERT_EQ(registry.register_helper(t), !equal) << "text of " << t.size() << " bytes";
        if (!equal) model.push_back(t);
    }
    EXPECT_EQ(std::vector<std::string>(registry.entries().begin(), registry.entries().end()),
              model);
}

}  // namespace
}  // namespace tvconv
