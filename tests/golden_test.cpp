// Golden conversions: every tests/golden/<group>/<case>.in is converted in
// process and compared byte for byte with <case>.out (the output), <case>.err
// (the diagnostics, empty when absent) and <case>.status (0 when absent).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

// Shows control characters so that a difference in blanks is visible.
std::string visible(const std::string& s) {
    std::string v;
    for (unsigned char c : s) {
        if (c == '\n')
            v += "\\n\n";
        else if (c == '\t')
            v += "\\t";
        else if (c == '\r')
            v += "\\r";
        else if (c < 0x20 || c == 0x7f)
            v += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        else
            v += static_cast<char>(c);
    }
    return v;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, ConvertsExactly) {
    fs::path base = fs::path(TVCONV_GOLDEN_DIR) / GetParam();
    std::string input = read_file(base.string() + ".in");
    std::string expected_out = read_file(base.string() + ".out");
    std::string expected_err = optional_file(base.string() + ".err", "");
    std::string status_text = optional_file(base.string() + ".status", "0");
    int expected_status = std::stoi(status_text);

    auto got = convert_bytes(input);
    EXPECT_EQ(got.status, expected_status);
    EXPECT_EQ(got.output, expected_out) << "expected:\n"
                                        << visible(expected_out) << "\ngot:\n"
                                        << visible(got.output);
    EXPECT_EQ(got.diagnostics, expected_err) << "expected:\n"
                                             << visible(expected_err) << "\ngot:\n"
                                             << visible(got.diagnostics);
}

std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = info.param;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden_cases()), case_name);

}  // namespace
