// Text values, `format` and the registry's equality rule.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>

#include "text/registry.h"

namespace tvconv {
namespace {

std::string fmt(std::string_view tmpl, std::initializer_list<FormatArg> args) {
    Text t;
    format_into(t, tmpl, args);
    return std::string(t.view());
}

TEST(Format, FillsDirectivesInOrder) {
    EXPECT_EQ(fmt("^if(%s){%s}{%s}", {"c", "t", "e"}), "^if(c){t}{e}");
    EXPECT_EQ(fmt("$%s[^eval(${%s}%s%s)[%%d]]", {"i", "i", "+", "1"}), "$i[^eval(${i}+1)[%d]]");
    EXPECT_EQ(fmt("(line %d)", {42}), "(line 42)");
    EXPECT_EQ(fmt("(line %d)", {-7}), "(line -7)");
    EXPECT_EQ(fmt("^#%c%c", {'4', '1'}), "^#41");
    EXPECT_EQ(fmt("%%02d%%", {}), "%02d%");
}

TEST(Format, NeverInterpretsAnArgumentsOwnPercentSigns) {
    EXPECT_EQ(fmt("[%s]", {"%s%d%%"}), "[%s%d%%]");
    EXPECT_EQ(fmt("%s%s", {"%", "s"}), "%s");
    // Empty arguments leave empty slots.
    EXPECT_EQ(fmt("^if(%s){%s}{%s}", {"", "", ""}), "^if(){}{}");
}

TEST(TextPool, RecyclesReleasedValues) {
    TextPool pool;
    Text* a = pool.make("x");
    Text* b = pool.make("y");
    EXPECT_EQ(append(pool, a, b), a);
    EXPECT_EQ(a->view(), "xy");
    EXPECT_EQ(pool.live(), 1u);
    // The released value comes back, emptied, without a new allocation.
    Text* c = pool.make("z");
    EXPECT_EQ(c, b);
    EXPECT_EQ(c->view(), "z");
    // A large document's storage is given back when it is released.
    Text* big = pool.make(std::string(1 << 20, 'q'));
    pool.release(big);
    EXPECT_EQ(big->capacity(), 0u);
}

TEST(Text, AppendsInPlaceAcrossGrowth) {
    Text t;
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        t.push_back(c);
        expected += c;
    }
    t.append("end");
    expected += "end";
    EXPECT_EQ(t.view(), expected);
}

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

}  // namespace
}  // namespace tvconv
