// Findings follow the lines a hand edit kept and are resolved by the lines it
// changed or deleted.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tree/carry.h"

namespace tvconv::tree {
namespace {

using Lines = std::vector<std::optional<std::size_t>>;

Lines map_all(const std::string& before, const std::string& after, std::size_t lines) {
    LineMap map(before, after);
    Lines out;
    for (std::size_t i = 1; i <= lines; ++i) out.push_back(map.find(i));
    return out;
}

TEST(LineMap, KeptLinesMoveChangedAndDeletedOnesAreGone) {
    const std::string base = "a\nb\nc\nd\n";
    EXPECT_EQ(map_all(base, base, 4), (Lines{1, 2, 3, 4}));
    // Two lines added above: every line moves down.
    EXPECT_EQ(map_all(base, "x\ny\na\nb\nc\nd\n", 4), (Lines{3, 4, 5, 6}));
    // One line changed, one deleted.
    EXPECT_EQ(map_all(base, "a\nB\nd\n", 4), (Lines{1, std::nullopt, std::nullopt, 3}));
    // Everything replaced, or the file emptied.
    EXPECT_EQ(map_all(base, "w\nx\ny\nz\n", 4), (Lines(4, std::nullopt)));
    EXPECT_EQ(map_all(base, "", 4), (Lines(4, std::nullopt)));
}

TEST(LineMap, ComparesWholeLinesWithTheirEnds) {
    // A last line that lost its line feed, or gained a CR, was changed.
    EXPECT_EQ(map_all("a\nb\n", "a\nb", 2), (Lines{1, std::nullopt}));
    EXPECT_EQ(map_all("a\nb\n", "a\r\nb\n", 2), (Lines{std::nullopt, 2}));
    // Lines out of range have no place.
    LineMap map("a\n", "a\n");
    EXPECT_EQ(map.find(0), std::nullopt);
    EXPECT_EQ(map.find(2), std::nullopt);
}

TEST(LineMap, RepeatedLinesAreMatchedInOrder) {
    // The same line many times over (a template full of one remark): the
    // first copies stay matched when one in the middle is fixed.
    std::string base, edited;
    for (int i = 0; i < 6; ++i) {
        base += "^rem{x}\n";
        edited += i == 3 ? "fixed\n" : "^rem{x}\n";
    }
    Lines seen = map_all(base, edited, 6);
    int open = 0;
    for (const auto& line : seen) open += line.has_value();
    EXPECT_EQ(open, 5);
    for (std::size_t i = 0; i < seen.size(); ++i)
        if (seen[i]) EXPECT_NE(*seen[i], 4u) << "line " << i + 1;
}

TEST(LineMap, LongerBeforeThanAfter) {
    // dtl swaps its texts when the first is longer; the map must not.
    std::string base = "k\n", edited = "k\n";
    for (int i = 0; i < 50; ++i) base += "line " + std::to_string(i) + "\n";
    edited += "line 49\n";
    Lines seen = map_all(base, edited, 51);
    EXPECT_EQ(seen[0], 1u);
    EXPECT_EQ(seen[50], 2u);
    for (std::size_t i = 1; i < 50; ++i) EXPECT_EQ(seen[i], std::nullopt) << i;
}

}  // namespace
}  // namespace tvconv::tree
