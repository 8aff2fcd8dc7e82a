// The shortcuts that keep per-byte work small: one-byte joins done inline,
// the pool's free list and the scanner's one-byte tokens. Each must give
// exactly what the general path gives, at the edges where it hands over.
#include <gtest/gtest.h>

#include <string>

#include "support.h"
#include "text/text.h"
#include "translate/build.h"

namespace tvconv {
namespace {

TEST(OneByteJoin, HandsOverToTheGeneralPathWhenStorageIsFull) {
    TextPool pool;
    Text* run = pool.make("a");
    std::string expected = "a";
    // Crosses several capacity boundaries (16, 24, 36, ...): at each one the
    // inline path must not write past the storage.
    for (int i = 0; i < 5000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        Text* byte = pool.make(std::string_view(&c, 1));
        run = append(pool, run, byte);
        expected += c;
        ASSERT_LE(run->size(), run->capacity());
    }
    EXPECT_EQ(run->view(), expected);
    EXPECT_EQ(pool.live(), 1u);
}

TEST(OneByteJoin, ReleasesAOneByteValueThatHoldsALargeBlock) {
    TextPool pool;
    Text* big = pool.make(std::string(1 << 20, 'x'));
    big->assign("y");
    Text* run = append(pool, pool.make("x"), big);
    EXPECT_EQ(run->view(), "xy");
    // Released through the general path, so its block was given back.
    EXPECT_EQ(big->capacity(), 0u);
    EXPECT_EQ(pool.live(), 1u);
}

TEST(FreeList, RecyclesEveryReleasedValueOnceAndEmpty) {
    TextPool pool;
    Text* a = pool.make("aaa");
    Text* b = pool.make("bbb");
    Text* c = pool.make("ccc");
    pool.release(a);
    pool.release(c);
    pool.release(nullptr);
    EXPECT_EQ(pool.live(), 1u);
    // Last released, first reused; each comes back holding only what it is
    // made with.
    Text* d = pool.make("d");
    Text* e = pool.make({});
    EXPECT_EQ(d, c);
    EXPECT_EQ(e, a);
    EXPECT_EQ(d->view(), "d");
    EXPECT_TRUE(e->empty());
    Text* f = pool.make("f");
    EXPECT_NE(f, a);
    EXPECT_NE(f, b);
    EXPECT_NE(f, c);
    EXPECT_EQ(pool.live(), 4u);
}

TEST(OneByteTokens, KeepTheirTextForTheErrorLine) {
    auto near = [](const std::string& input) {
        std::string d = test::convert_bytes(input).diagnostics;
        std::size_t at = d.find(" near '");
        return at == std::string::npos ? d : d.substr(at);
    };
    EXPECT_EQ(near("x\n^item y"), " near ' '\n");
    // A two-byte token after one-byte ones, and the fixed text of ";".
    EXPECT_EQ(near("ab^item$$"), " near '$$'\n");
    EXPECT_EQ(near("ab^item;"), " near '^;'\n");
    // A NUL byte's text is empty.
    EXPECT_EQ(near(std::string("^item\0", 6)), " near ''\n");
}

// A construction around a long text is built in that text's own storage, so
// the text is never held twice; the result must be what `format` gives.
class FillAroundLongText : public ::testing::Test {
  protected:
    Conversion cv{nullptr};
    const std::string long_text = std::string(5000, 'L') + "end";
    Text* make_long() { return cv.make(long_text); }
};

TEST_F(FillAroundLongText, BuildsTheResultInTheLongArgument) {
    Text* body = make_long();
    Text* cond = cv.make("c");
    Text* r = tr::fill(cv, "^if(%s){%s}{%c%d%%}", {cond, body, 'x', -12});
    EXPECT_EQ(r, body);
    EXPECT_EQ(r->view(), "^if(c){" + long_text + "}{x-12%}");
    EXPECT_EQ(cv.pool.live(), 1u);
}

TEST_F(FillAroundLongText, CopiesWhenTheLongArgumentCannotHoldTheResult) {
    // Used twice.
    Text* body = make_long();
    Text* r = tr::fill(cv, "%s|%s", {body, body});
    EXPECT_NE(r, body);
    EXPECT_EQ(r->view(), long_text + "|" + long_text);
    cv.release(r);
    // Another argument views into its storage.
    body = make_long();
    std::string_view tail = body->view().substr(5000);
    r = tr::fill(cv, "%s[%s]", {tail, body});
    EXPECT_NE(r, body);
    EXPECT_EQ(r->view(), "end[" + long_text + "]");
    cv.release(r);
    // No directive takes it: it is released, not returned.
    body = make_long();
    r = tr::fill(cv, "^rem{%s}", {cv.make("a"), body});
    EXPECT_EQ(r->view(), "^rem{a}");
    cv.release(r);
    EXPECT_EQ(cv.pool.live(), 0u);
}

TEST_F(FillAroundLongText, ConvertsAWrappedPageLikeAnUnwrappedOne) {
    std::string page;
    for (int i = 0; page.size() < 100000; ++i)
        page += "<p>line " + std::to_string(i) + " (x)</p>\n";
    std::string converted = test::convert_text(page);
    EXPECT_EQ(test::convert_text("^if[^var[a];" + page + "]"), "^if(${a}){" + converted + "}");
}

}  // namespace
}  // namespace tvconv
