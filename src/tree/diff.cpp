#include "tree/diff.h"

#include <algorithm>
#include <dtl/dtl.hpp>
#include <vector>

#include "tree/escape.h"

namespace tvconv::tree {

namespace {

// Lines with their line feeds, so that a last line without one differs from
// the same line with one, as it does for patch.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

void put_line(std::string& out, char mark, std::string_view line) {
    out += mark;
    out += line;
    if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

// "START,COUNT", or "START" alone for one line, as diff -u writes it; a
// range of no lines is named by the line before it.
std::string range(long long start, long long count) {
    if (count == 1) return std::to_string(start);
    if (count == 0 && start > 0) --start;
    return std::to_string(start) + "," + std::to_string(count);
}

// A file name as patch reads it: patch ends an unquoted name at a blank, so
// a name with a blank, a control character, a quote or a backslash is
// written in C-style quotes, as diff and git write it.
std::string quoted_name(const std::string& name) {
    bool plain = true;
    for (unsigned char c : name)
        if (c <= ' ' || c == 0x7f || c == '"' || c == '\\') plain = false;
    if (plain) return name;
    std::string out(1, '"');
    escape_to(out, name, diff_name_policy());
    out += '"';
    return out;
}

// One element of the edit script: a line, and the line numbers it stands at
// in the old and the new text (counted from 1).
struct Edit {
    char mark;
    std::string_view line;
    long long old_line, new_line;
};

std::vector<Edit> edit_script(std::string_view before, std::string_view after) {
    std::vector<std::string_view> a = lines_of(before), b = lines_of(after);
    dtl::Diff<std::string_view, std::vector<std::string_view>> diff(a, b);
    diff.compose();
    std::vector<Edit> edits;
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        char mark = info.type == dtl::SES_ADD ? '+' : info.type == dtl::SES_DELETE ? '-' : ' ';
        edits.push_back({mark, line, 0, 0});
    }
    // In each run of changes the removed lines come first, as readers of
    // diffs expect; the order within each kind stays.
    for (auto run = edits.begin(); run != edits.end();) {
        auto end = std::find_if(run, edits.end(), [](const Edit& e) { return e.mark == ' '; });
        std::stable_partition(run, end, [](const Edit& e) { return e.mark == '-'; });
        run = std::find_if(end, edits.end(), [](const Edit& e) { return e.mark != ' '; });
    }
    long long old_line = 1, new_line = 1;
    for (Edit& e : edits) {
        e.old_line = old_line;
        e.new_line = new_line;
        old_line += e.mark != '+';
        new_line += e.mark != '-';
    }
    return edits;
}

// The hunk of `edits` that holds the change at `i`, with three lines of
// context around its changes, joined where their contexts meet; returns
// where the next hunk may start.
std::size_t put_hunk(std::string& out, const std::vector<Edit>& edits, std::size_t i) {
    constexpr std::size_t kContext = 3;
    std::size_t begin = i >= kContext ? i - kContext : 0;
    std::size_t end = i;  // one past the last change of the hunk
    for (std::size_t j = i; j < edits.size(); ++j) {
        if (edits[j].mark != ' ') {
            end = j + 1;
        } else if (j - end >= 2 * kContext) {
            break;
        }
    }
    std::size_t stop = std::min(edits.size(), end + kContext);
    long long old_count = 0, new_count = 0;
    for (std::size_t j = begin; j < stop; ++j) {
        old_count += edits[j].mark != '+';
        new_count += edits[j].mark != '-';
    }
    out += "@@ -" + range(edits[begin].old_line, old_count) + " +" +
           range(edits[begin].new_line, new_count) + " @@\n";
    for (std::size_t j = begin; j < stop; ++j) put_line(out, edits[j].mark, edits[j].line);
    return stop;
}

}  // namespace

std::string unified_diff(std::string_view before, std::string_view after,
                         const std::string& old_name, const std::string& new_name) {
    if (before == after) return {};
    const std::string a_name = quoted_name("a/" + old_name), b_name = quoted_name("b/" + new_name);
    // patch cannot carry a NUL byte in a line; like diff, say only that the
    // files differ.
    if (before.find('\0') != std::string_view::npos || after.find('\0') != std::string_view::npos)
        return "Binary files " + a_name + " and " + b_name + " differ\n";
    const std::vector<Edit> edits = edit_script(before, after);
    std::string out = "--- " + a_name + "\n+++ " + b_name + "\n";
    for (std::size_t i = 0; i < edits.size();) {
        while (i < edits.size() && edits[i].mark == ' ') ++i;
        if (i < edits.size()) i = put_hunk(out, edits, i);
    }
    return out;
}

}  // namespace tvconv::tree
