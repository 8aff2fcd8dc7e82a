// Text values, their joins, their size bound, and `format`.
#include "text/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tvconv {
namespace {

std::string fmt(std::string_view pattern, std::initializer_list<FormatArg> args) {
    Text t;
    format_into(t, pattern, args);
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

TEST(Format, CopiesPiecesOfEveryLengthWhole) {
    // Pieces are copied by word-sized halves that overlap; every length up
    // to past the word sizes, in the template and in an argument.
    std::string all;
    for (int i = 0; i < 40; ++i) all += static_cast<char>('a' + i % 26);
    for (std::size_t n = 0; n <= all.size(); ++n) {
        const std::string piece = all.substr(0, n);
        const std::string pattern = piece + "%s" + piece;
        EXPECT_EQ(fmt(pattern, {piece.c_str()}), piece + piece + piece) << "length " << n;
    }
}

TEST(Format, FillsTemplatesWithManyDirectivesOrFarOnes) {
    // Past the places a format string keeps, it is searched as it is filled.
    std::string pattern, expected;
    for (int i = 0; i < 12; ++i) {
        pattern += "<%s|%%|%x>";
        expected += '<';
        expected += std::to_string(i);
        expected += "|%|%x>";
    }
    const char* const a[12] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"};
    EXPECT_EQ(
        fmt(pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]}),
        expected);
    const std::string far(300, '.');
    EXPECT_EQ(fmt(far + "%s%d%", {"x", 7}), far + "x7%");
    // Literal templates are indexed at compile time and fill the same way.
    Text t;
    format_into(t, "^if(%s){%s}%%%", {"c", "t"});
    EXPECT_EQ(t.view(), "^if(c){t}%%");
}

// Into a string: the same bytes as into a value, whatever the arguments.
TEST(Format, IntoAStringGivesTheSameBytes) {
    TextPool pool;
    Text* big = pool.make(std::string(10000, 'b'));
    const std::string expected = "@m_x[a]\n" + std::string(10000, 'b') + "\n\n%7z";
    EXPECT_EQ(format_string("@m_%s%s\n%s\n\n%%%d%c", {"x", "[a]", big, 7, 'z'}), expected);
    EXPECT_EQ(format_string("%s", {}), "");
    EXPECT_EQ(format_string("", {big}), "");
    pool.release(big);
}

// Texts only, the commonest case, take a path of their own into a value;
// a string is always filled the general way. Both agree on every mix of
// directives, other percent signs and arguments.
TEST(Format, TextArgumentsFillAsTheGeneralWayDoes) {
    const char* pieces[] = {"%s", "%d", "%c", "%%", "%x", "%", "ab", "c", "%s%s", "^item[$"};
    const char* texts[] = {"", "v", "%s", "a longer argument of twenty", "50%"};
    std::mt19937 rng(22);
    for (int n = 0; n < 3000; ++n) {
        std::string f;
        for (int k = static_cast<int>(rng() % 7); k > 0; --k) f += pieces[rng() % 10];
        const FormatString pattern{std::string_view(f)};
        std::vector<FormatArg> args;
        for (int k = static_cast<int>(rng() % 4); k > 0; --k) args.emplace_back(texts[rng() % 5]);
        Text out;
        std::string expected;
        switch (args.size()) {
            case 0:
                expected = format_string(pattern, {});
                format_into(out, pattern, {});
                break;
            case 1:
                expected = format_string(pattern, {args[0]});
                format_into(out, pattern, {args[0]});
                break;
            case 2:
                expected = format_string(pattern, {args[0], args[1]});
                format_into(out, pattern, {args[0], args[1]});
                break;
            default:
                expected = format_string(pattern, {args[0], args[1], args[2]});
                format_into(out, pattern, {args[0], args[1], args[2]});
                break;
        }
        ASSERT_EQ(std::string(out.view()), expected) << "format: " << f;
    }
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

TEST(Join, KeepsTheBytesInOrderWhicheverSideIsLonger) {
    TextPool pool;
    Text* r = append(pool, pool.make("ab"), pool.make("cdefgh"));
    EXPECT_EQ(r->view(), "abcdefgh");
    r = append(pool, r, pool.make("ij"));
    EXPECT_EQ(r->view(), "abcdefghij");
    r = append(pool, pool.make(""), r);
    EXPECT_EQ(r->view(), "abcdefghij");
    r = append(pool, r, pool.make(""));
    EXPECT_EQ(r->view(), "abcdefghij");
    pool.release(r);
    // Long enough for the right side's storage to grow while it takes the
    // left side's bytes in front.
    std::string left(1000, 'l'), right(100000, 'r');
    r = append(pool, pool.make(left), pool.make(right));
    EXPECT_EQ(r->view(), left + right);
    pool.release(r);
    EXPECT_EQ(pool.live(), 0u);
}

// The marks of a value, as (offset, diagnostic) pairs.
std::vector<std::pair<std::size_t, std::size_t>> marks_of(const Text* t) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    if (t->marks())
        for (const TextMark& m : *t->marks()) out.emplace_back(m.offset, m.diagnostic);
    return out;
}

using Marks = std::vector<std::pair<std::size_t, std::size_t>>;

Text* marked(TextPool& pool, std::string_view bytes, std::size_t diagnostic) {
    Text* t = pool.make(bytes);
    pool.mark(t, diagnostic);
    return t;
}

TEST(TextMarks, MoveWithTheBytesThroughJoinsWhicheverSideIsLonger) {
    TextPool pool;
    Text* joined = append_values(pool, marked(pool, "ab", 0), marked(pool, "cdef", 1));
    EXPECT_EQ(joined->view(), "abcdef");
    EXPECT_EQ(marks_of(joined), (Marks{{0, 0}, {2, 1}}));
    joined = append_values(pool, joined, marked(pool, "gh", 2));
    EXPECT_EQ(marks_of(joined), (Marks{{0, 0}, {2, 1}, {6, 2}}));
    joined->prepend(">>");
    EXPECT_EQ(marks_of(joined), (Marks{{2, 0}, {4, 1}, {8, 2}}));
    joined->surround(3, 1);
    EXPECT_EQ(marks_of(joined), (Marks{{5, 0}, {7, 1}, {11, 2}}));
    // A construct around marked bytes comes first.
    pool.mark(joined, 3);
    EXPECT_EQ(marks_of(joined).front(), (std::pair<std::size_t, std::size_t>{0, 3}));
}

TEST(TextMarks, FollowEachArgumentIntoAFormatOnceAtItsFirstUse) {
    TextPool pool;
    Text* a = marked(pool, "aa", 0);
    Text* b = marked(pool, "bbb", 1);
    Text* out = format(pool, "<%s|%d|%s|%s>", {a, 42, b, a});
    EXPECT_EQ(out->view(), "<aa|42|bbb|aa>");
    EXPECT_EQ(marks_of(out), (Marks{{1, 0}, {7, 1}}));
    EXPECT_FALSE(a->marks());
    EXPECT_FALSE(b->marks());

    TextMarks into_string;
    Text* c = marked(pool, "cc", 2);
    EXPECT_EQ(format_string("@m_%s\n%s", {"x", c}, &into_string), "@m_x\ncc");
    EXPECT_EQ(into_string, (TextMarks{{5, 2}}));
}

TEST(TextMarks, FollowTheOtherArgumentsIntoAFormatBuiltInTheLongest) {
    TextPool pool;
    Text* host = marked(pool, std::string(5000, 'h'), 0);
    Text* small = marked(pool, "ss", 1);
    Text* out = format_reusing(pool, "(%s;%s)", {small, host});
    ASSERT_EQ(out, host);  // built in the host's storage
    EXPECT_EQ(marks_of(out), (Marks{{1, 1}, {4, 0}}));
    out = format_reusing(pool, "[%s;%s]", {out, marked(pool, "tt", 2)});
    EXPECT_EQ(marks_of(out), (Marks{{2, 1}, {5, 0}, {5007, 2}}));
}

TEST(TextMarks, GoWithTheBytesWhenAValueIsClearedOrReleased) {
    TextPool pool;
    Text* t = marked(pool, "xyz", 0);
    t->clear();
    EXPECT_FALSE(t->marks());
    t->append("abc");
    pool.mark(t, 1);
    pool.release(t);
    Text* reused = pool.make("abc");
    EXPECT_EQ(reused, t);
    EXPECT_FALSE(reused->marks());
    pool.mark(reused, 2);
    EXPECT_EQ(reused->release_marks(), (TextMarks{{0, 2}}));
    EXPECT_FALSE(reused->marks());
}

TEST(TextLimit, AGrowthPastTheLimitThrowsAndKeepsTheText) {
    TextPool pool;
    pool.set_text_limit(64);
    Text* t = pool.make(std::string(60, 'a'));
    t->append("bbbb");
    EXPECT_EQ(t->size(), 64u);
    EXPECT_THROW(t->append("c"), std::bad_alloc);
    EXPECT_THROW(t->reserve(65), std::bad_alloc);
    EXPECT_EQ(t->view(), std::string(60, 'a') + "bbbb");
    EXPECT_LE(t->capacity(), 64u);
}

// Kept bytes never move while the store grows, and a process that asked
// for huge pages gets a large store in whole, aligned ones. (Each test runs
// in a process of its own, so asking here changes no other test.)
TEST(ByteStore, KeepsEveryAllocationInPlaceAndAlignsLargeChunksOnHugePages) {
    grow_heap_in_huge_pages();
    ByteStore store;
    std::vector<std::pair<char*, std::size_t>> kept;
    for (int i = 0; store.reserved() < (std::size_t{5} << 20); ++i) {
        const std::size_t n = 1 + static_cast<std::size_t>(i) * 7919 % 60000;
        char* p = store.allocate(n);
        std::memset(p, 'a' + i % 26, n);
        kept.push_back({p, n});
    }
    // A dropped tail is handed out again.
    char* p = store.allocate(100);
    store.shrink_last(p + 10);
    EXPECT_EQ(store.allocate(1), p + 10);
    // More than is left in any chunk: it begins one.
    const std::size_t large = store.reserved();
    char* big = store.allocate(large);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(big) % (std::uintptr_t{2} << 20), 0u);
    std::memset(big, 'z', large);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const std::string expected(kept[i].second, static_cast<char>('a' + i % 26));
        ASSERT_EQ(std::string_view(kept[i].first, kept[i].second), expected) << "allocation " << i;
    }
    ByteStore moved = std::move(store);
    EXPECT_EQ(store.reserved(), 0u);
    EXPECT_EQ(big[large - 1], 'z');
}

}  // namespace
}  // namespace tvconv
