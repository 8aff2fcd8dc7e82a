// Golden conversions: every tests/golden/<group>/<case>.in is converted in
// process and compared byte for byte with <case>.out (the output), <case>.err
// (the diagnostics, empty when absent) and <case>.status (0 when absent).
// A mismatch is shown as a unified diff of the lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <dtl/dtl.hpp>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace fs = std::filesystem;
using tvconv::test::convert_bytes;
using tvconv::test::read_file;

namespace {

std::vector<std::string> golden_cases() {
    std::vector<std::string> cases;
    for (const auto& e : fs::recursive_directory_iterator(TVCONV_GOLDEN_DIR)) {
        if (e.is_regular_file() && e.path().extension() == ".in") {
            fs::path p = e.path();
            p.replace_extension();
            cases.push_back(fs::relative(p, TVCONV_GOLDEN_DIR).string());
        }
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

std::string optional_file(const fs::path& p, const std::string& fallback) {
    return fs::exists(p) ? read_file(p.string()) : fallback;
}

// One line with its control characters shown, so that a difference in
// blanks is visible; a backslash is doubled so that an escape shown for a
// tab cannot be taken for the bytes "\t" in the text, or the other way round.
std::string visible(std::string_view line) {
    std::string v;
    for (unsigned char c : line) {
        if (c == '\t')
            v += "\\t";
        else if (c == '\r')
            v += "\\r";
        else if (c == '\\')
            v += "\\\\";
        else if (c < 0x20 || c == 0x7f)
            v += std::string("\\x") + "0123456789abcdef"[c >> 4] + "0123456789abcdef"[c & 15];
        else
            v += static_cast<char>(c);
    }
    return v;
}

// The lines of `text`, shown visibly; a last line without its line feed is
// marked, so that a missing or extra final line feed shows in the diff.
std::vector<std::string> visible_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(visible(std::string_view(text).substr(start)) +
                            "\\ (no line feed at end)");
            break;
        }
        lines.push_back(visible(std::string_view(text).substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

// A unified diff from `expected` to `got`, with three lines of context.
std::string unified_diff(const std::string& expected_name, const std::string& expected,
                         const std::string& got_name, const std::string& got) {
    dtl::Diff<std::string> diff(visible_lines(expected), visible_lines(got));
    diff.compose();
    diff.composeUnifiedHunks();
    std::ostringstream out;
    out << "--- " << expected_name << "\n+++ " << got_name << "\n";
    diff.printUnifiedFormat(out);
    return out.str();
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, ConvertsExactly) {
    fs::path base = fs::path(TVCONV_GOLDEN_DIR) / GetParam();
    std::string input = read_file(base.string() + ".in");
    std::string expected_out = read_file(base.string() + ".out");
    std::string expected_err = optional_file(base.string() + ".err", "");
    std::string status_text = optional_file(base.string() + ".status", "0");
    int expected_status = std::stoi(status_text);

    const std::string name = GetParam();
    for (tvconv::BulkLoop loop : tvconv::test::kBulkLoops) {
        SCOPED_TRACE(tvconv::test::name_of(loop));
        tvconv::test::UsingBulkLoop using_loop(loop);
        auto got = convert_bytes(input);
        EXPECT_EQ(got.status, expected_status) << "exit status";
        if (got.output != expected_out)
            ADD_FAILURE() << unified_diff(name + ".out", expected_out,
                                          "output of " + name + ".in", got.output);
        if (got.diagnostics != expected_err)
            ADD_FAILURE() << unified_diff(name + ".err", expected_err,
                                          "diagnostics of " + name + ".in", got.diagnostics);
    }
}

std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = info.param;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden_cases()), case_name);

}  // namespace
