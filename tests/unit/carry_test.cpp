// Findings follow the lines a hand edit kept and are resolved by the lines it
// changed or deleted.
#include "tree/carry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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

TEST(LineMap, LineEndsAreNotEdits) {
    // An editor that writes CR LF, or drops the last line feed, changed no
    // construct; a space at the end of a line is a change.
    EXPECT_EQ(map_all("a\nb\n", "a\nb", 2), (Lines{1, 2}));
    EXPECT_EQ(map_all("a\nb\n", "a\r\nb\r\n", 2), (Lines{1, 2}));
    EXPECT_EQ(map_all("a\nb\n", "a \nb\n", 2), (Lines{std::nullopt, 2}));
    // Lines out of range have no place.
    LineMap map("a\n", "a\n");
    EXPECT_EQ(map.find(0), std::nullopt);
    EXPECT_EQ(map.find(2), std::nullopt);
}

TEST(CarryFindings, OpenOnesFollowTheirLines) {
    auto at = [](int output_line, DiagnosticCode code = DiagnosticCode::unconvertible_operator) {
        Finding f = Finding::at(code, 1, "m");
        f.output_line = output_line;
        return f;
    };
    Finding bom = Finding::at(DiagnosticCode::utf8_bom, 1, "bom");
    Finding nul = Finding::at(DiagnosticCode::nul_byte, std::nullopt, "nul");
    const std::string base = "\xEF\xBB\xBFhead\n^rem{x}\nmid\n^rem{y}\n";
    const std::vector<Finding> findings = {at(2), at(4), bom, nul};
    // One remark fixed, a line added above: the other moves down; the BOM
    // is still there, the NUL bytes have no line to follow.
    std::vector<Finding> open =
        carry_findings(base, "\xEF\xBB\xBFhead\nnew\n^rem{x}\nmid\nfixed\n", findings);
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].output_line, 3);
    EXPECT_EQ(open[1].code, DiagnosticCode::utf8_bom);
    // The mark removed: nothing is left.
    EXPECT_TRUE(carry_findings(base, "head\nfx\nmid\nfy\n", findings).empty());
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
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i]) {
            EXPECT_NE(*seen[i], 4u) << "line " << i + 1;
        }
    }
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
