#include "tree/diff.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <dtl/dtl.hpp>
#include <vector>

#include "tree/escape.h"

namespace tvconv::tree {

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

namespace {

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

std::string octal(unsigned char c) {
    return {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)), char('0' + (c & 7))};
}

// A file name as both tools read it: patch ends an unquoted name at a blank,
// and git reads a byte outside ASCII only in quotes. Such a name is written
// in C-style quotes, each byte outside ASCII in octal, as git writes it.
std::string quoted_name(const std::string& name) {
    bool plain = true;
    for (unsigned char c : name)
        if (c <= ' ' || c >= 0x7f || c == '"' || c == '\\') plain = false;
    if (plain) return name;
    std::string out(1, '"');
    const std::string_view s = name;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t run = i;
        while (run < s.size() && static_cast<unsigned char>(s[run]) < 0x80) ++run;
        escape_to(out, s.substr(i, run - i), diff_name_policy());
        for (; run < s.size() && static_cast<unsigned char>(s[run]) >= 0x80; ++run)
            out += octal(static_cast<unsigned char>(s[run]));
        i = run;
    }
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

// The hunks from `before` to `after`.
std::string hunks(const std::vector<Edit>& edits) {
    std::string out;
    for (std::size_t i = 0; i < edits.size();) {
        while (i < edits.size() && edits[i].mark == ' ') ++i;
        if (i < edits.size()) i = put_hunk(out, edits, i);
    }
    return out;
}

std::string hunks(std::string_view before, std::string_view after) {
    return hunks(edit_script(before, after));
}

// What git calls the similarity of two files: the share of the larger one
// that both hold, here the bytes of the lines they have in common.
int similarity(const std::vector<Edit>& edits, std::size_t before, std::size_t after) {
    std::size_t common = 0;
    for (const Edit& e : edits)
        if (e.mark == ' ') common += e.line.size();
    const std::size_t larger = std::max(before, after);
    return larger == 0 ? 100 : int(common * 100 / larger);
}

std::string git_header(const std::string& old_name, const std::string& new_name) {
    return "diff --git " + quoted_name("a/" + old_name) + " " + quoted_name("b/" + new_name) + "\n";
}

// A symbolic link replaced by a file, as git writes a change of type: the
// link deleted, then the file created. A file with no bytes has no hunk.
std::string link_to_file(std::string_view after, const DiffFile& file) {
    std::string out = git_header(file.old_name, file.old_name) + "deleted file mode 120000\n--- " +
                      quoted_name("a/" + file.old_name) + "\n+++ /dev/null\n" +
                      hunks(*file.link, {});
    out += git_header(file.new_name, file.new_name) + "new file mode " +
           ((file.mode & S_IXUSR) ? "100755" : "100644") + "\n";
    if (!after.empty())
        out += "--- /dev/null\n+++ " + quoted_name("b/" + file.new_name) + "\n" + hunks({}, after);
    return out;
}

}  // namespace

std::string unified_diff(std::string_view before, std::string_view after,
                         const std::string& old_name, const std::string& new_name) {
    if (before == after) return {};
    return "--- " + quoted_name("a/" + old_name) + "\n+++ " + quoted_name("b/" + new_name) + "\n" +
           hunks(before, after);
}

std::string git_diff(std::string_view before, std::string_view after, const DiffFile& file) {
    if (file.link) return link_to_file(after, file);
    if (file.old_name == file.new_name) {
        if (before == after) return {};
        return git_header(file.old_name, file.new_name) +
               unified_diff(before, after, file.old_name, file.new_name);
    }
    const std::vector<Edit> edits = edit_script(before, after);
    std::string out = git_header(file.old_name, file.new_name) + "similarity index " +
                      std::to_string(similarity(edits, before.size(), after.size())) +
                      "%\nrename from " + quoted_name(file.old_name) + "\nrename to " +
                      quoted_name(file.new_name) + "\n";
    if (before != after)
        out += "--- " + quoted_name("a/" + file.old_name) + "\n+++ " +
               quoted_name("b/" + file.new_name) + "\n" + hunks(edits);
    return out;
}

std::optional<std::string> link_text(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
    std::string text(std::size_t(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    // A link that cannot be read, or that changed under the run, is shown
    // as the file it leads to: the run writes that file.
    if (n <= 0 || std::size_t(n) > text.size()) return std::nullopt;
    text.resize(std::size_t(n));
    return text;
}

}  // namespace tvconv::tree
