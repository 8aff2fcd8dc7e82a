// Golden conversions: every tests/golden/<group>/<case>.in is converted in
// process and compared byte for byte with <case>.out (the output), <case>.err
// (the diagnostics, empty when absent) and <case>.status (0 when absent).
// A mismatch is shown as a unified diff of the lines. The tvconv executable
// converts every case too, and must write, print and exit the same.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dtl/dtl.hpp>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
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
            ADD_FAILURE() << unified_diff(name + ".out", expected_out, "output of " + name + ".in",
                                          got.output);
        if (got.diagnostics != expected_err)
            ADD_FAILURE() << unified_diff(name + ".err", expected_err,
                                          "diagnostics of " + name + ".in", got.diagnostics);
    }
}

// A directory of its own for a test's files, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "tvconv-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string shell_quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What the tvconv executable made of INPUT: its standard output, standard
// error and exit status. A `limit_kb` above 0 bounds its address space.
struct Executed {
    std::string out, err;
    int status = -1;
};

Executed run_tvconv(const fs::path& input, const ScratchDir& scratch, long limit_kb = 0) {
    const fs::path out = scratch.path() / "stdout", err = scratch.path() / "stderr";
    std::string command = limit_kb > 0 ? "ulimit -v " + std::to_string(limit_kb) + " && " : "";
    command += "exec " + shell_quoted(TVCONV_BINARY) + " " + shell_quoted(input.string()) +
               " </dev/null >" + shell_quoted(out.string()) + " 2>" + shell_quoted(err.string());
    int raw = std::system(command.c_str());
    Executed e;
    e.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    e.out = read_file(out.string());
    e.err = read_file(err.string());
    return e;
}

TEST_P(Golden, TheExecutableConvertsTheSame) {
    fs::path base = fs::path(TVCONV_GOLDEN_DIR) / GetParam();
    std::string expected_out = read_file(base.string() + ".out");
    std::string expected_err = optional_file(base.string() + ".err", "");
    int expected_status = std::stoi(optional_file(base.string() + ".status", "0"));

    const std::string name = GetParam();
    ScratchDir scratch;
    Executed got = run_tvconv(base.string() + ".in", scratch);
    EXPECT_EQ(got.status, expected_status) << "exit status of tvconv " << name << ".in";
    if (got.out != expected_out)
        ADD_FAILURE() << unified_diff(name + ".out", expected_out,
                                      "standard output of tvconv " + name + ".in", got.out);
    if (got.err != expected_err)
        ADD_FAILURE() << unified_diff(name + ".err", expected_err,
                                      "standard error of tvconv " + name + ".in", got.err);
}

// The bytes that begin the construct a diagnostic of `code` belongs to in
// the output, or nothing when it belongs to none there.
std::string_view construct_start(tvconv::DiagnosticCode code) {
    using tvconv::DiagnosticCode;
    switch (code) {
        case DiagnosticCode::unconvertible_operator:
        case DiagnosticCode::unconvertible_form:
            return "^rem{";
        case DiagnosticCode::reference_rewritten:
        case DiagnosticCode::predefinitions_changed:
            return "^macro_use[";
        case DiagnosticCode::ambiguous_conversion:
            return "^connect[mysql://";
        case DiagnosticCode::unconvertible_parameter:
            return "$response:body[^file::load[binary;";
        default:
            return {};
    }
}

std::size_t occurrences(std::string_view line, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = line.find(what); at != std::string_view::npos;
         at = line.find(what, at + 1))
        ++n;
    return n;
}

// Every diagnostic of a construct the output holds points to the output line
// that holds it, each line holding at least as many such constructs as
// diagnostics point to it; no other diagnostic has an output line.
TEST_P(Golden, PointsToTheOutputLineOfEachConstruct) {
    fs::path base = fs::path(TVCONV_GOLDEN_DIR) / GetParam();
    const auto got = convert_bytes(read_file(base.string() + ".in"));
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at <= got.output.size();) {
        std::size_t end = std::min(got.output.find('\n', at), got.output.size());
        lines.push_back(std::string_view(got.output).substr(at, end - at));
        at = end + 1;
    }
    std::map<std::pair<int, std::string_view>, std::size_t> pointed;
    for (const tvconv::Diagnostic& d : got.result.diagnostics) {
        SCOPED_TRACE(d.message);
        const std::string_view start = construct_start(d.code);
        if (start.empty() || !got.result.output.present()) {
            EXPECT_FALSE(d.output_line);
            continue;
        }
        ASSERT_TRUE(d.output_line);
        ASSERT_GE(*d.output_line, 1);
        ASSERT_LE(std::size_t(*d.output_line), lines.size());
        const std::string_view line = lines[std::size_t(*d.output_line) - 1];
        const std::size_t pointing = ++pointed[std::make_pair(*d.output_line, start)];
        EXPECT_GE(occurrences(line, start), pointing)
            << "output line " << *d.output_line << ": " << line;
    }
}

std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = info.param;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden_cases()), case_name);

// An input that ends its conversion with `status`: the bytes, or none to
// convert a directory; and for running out of memory, the limit on the text
// held (in process) and on the address space (the executable).
struct StatusCase {
    std::string input;
    bool directory = false;
    std::size_t max_text_bytes = tvconv::TextPool::kUnbounded;
    long limit_kb = 0;
};

std::string repeated(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

// No default: a status added to the core must be given a case here.
StatusCase case_for(tvconv::Status status) {
    switch (status) {
        case tvconv::Status::accepted:
            return {"x", false};
        case tvconv::Status::syntax_error:
            return {"^if[", false};
        case tvconv::Status::stack_overflow:
            return {repeated("^eval[", 2500) + "x" + repeated("]", 2500), false};
        case tvconv::Status::scanner_fatal:
            return {"", true};
        case tvconv::Status::out_of_memory:
            // Forty nested ^-f would write a terabyte.
            return {repeated("^-f[", 40) + "x" + repeated("]", 40), false, std::size_t{1} << 20,
                    300000};
    }
    return {};
}

// The tests take a conversion's exit status from test::exit_status(): it
// must be what the executable exits with, for every status.
TEST(ExitStatus, IsTheExecutables) {
    const tvconv::Status statuses[] = {
        tvconv::Status::accepted,       tvconv::Status::syntax_error,
        tvconv::Status::stack_overflow, tvconv::Status::scanner_fatal,
        tvconv::Status::out_of_memory,
    };
    ScratchDir scratch;
    for (tvconv::Status status : statuses) {
        SCOPED_TRACE(std::string(tvconv::status_name(status)));
        StatusCase c = case_for(status);
        fs::path input = scratch.path() / "input";
        if (c.directory) {
            fs::create_directory(input);
        } else {
            std::ofstream(input, std::ios::binary) << c.input;
        }
        tvconv::ConvertOptions options;
        options.max_text_bytes = c.max_text_bytes;
        std::FILE* in = std::fopen(input.c_str(), "r");
        ASSERT_NE(in, nullptr);
        tvconv::Result in_process = tvconv::convert(in, options);
        std::fclose(in);
        EXPECT_EQ(in_process.status, status) << "the case does not end with its status";
        // A sanitizer build reserves more address space than the limit.
        if (c.limit_kb == 0 || !tvconv::test::kSanitized) {
            EXPECT_EQ(run_tvconv(input, scratch, c.limit_kb).status,
                      tvconv::test::exit_status(status));
        }
        fs::remove_all(input);
    }
}

}  // namespace
