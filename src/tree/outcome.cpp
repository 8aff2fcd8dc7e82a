#include "tree/outcome.h"

#include <algorithm>
#include <unordered_map>

namespace tvconv::tree {

const char* file_status_name(FileStatus s) {
    switch (s) {
        case FileStatus::kDone:
            return "done";
        case FileStatus::kConverted:
            return "converted";
        case FileStatus::kManual:
            return "manual";
        case FileStatus::kFailed:
            return "failed";
        case FileStatus::kCopied:
            return "copied";
        case FileStatus::kNotCopied:
            return "not_copied";
        case FileStatus::kSkipped:
            return "skipped";
        case FileStatus::kExcluded:
            return "excluded";
        case FileStatus::kEdited:
            return "edited";
    }
    return "";
}

const char* action_name(Action a) {
    switch (a) {
        case Action::kNone:
            return "none";
        case Action::kWritten:
            return "written";
        case Action::kUnchanged:
            return "unchanged";
        case Action::kRecorded:
            return "recorded";
        case Action::kKept:
            return "kept";
        case Action::kMerged:
            return "merged";
        case Action::kConflict:
            return "conflict";
    }
    return "";
}

namespace {

bool shown_in_place(const Finding& f) {
    return severity_of(f) != Severity::note && f.line && *f.line > 0;
}

}  // namespace

bool wants_excerpt(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(), shown_in_place);
}

const SourceExcerpt::Line* SourceExcerpt::line(std::size_t number) const {
    auto it = std::lower_bound(lines.begin(), lines.end(), number,
                               [](const Line& l, std::size_t n) { return l.number < n; });
    return it != lines.end() && it->number == number ? &*it : nullptr;
}

namespace {

// The lines of `source` within kContextLines of the lines `at`.
SourceExcerpt excerpt_around(std::string_view source, const std::vector<std::size_t>& at) {
    constexpr std::size_t kAround = SourceExcerpt::kContextLines;
    std::vector<std::pair<std::size_t, std::size_t>> wanted;  // line ranges
    for (std::size_t n : at) wanted.emplace_back(n > kAround ? n - kAround : 1, n + kAround);
    std::sort(wanted.begin(), wanted.end());
    SourceExcerpt excerpt;
    std::size_t next = 0;  // the first range that may still hold a line
    for (std::size_t start = 0, number = 1; start < source.size(); ++number) {
        std::size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        while (next < wanted.size() && wanted[next].second < number) ++next;
        if (next < wanted.size() && wanted[next].first <= number) {
            std::string_view text = source.substr(start, end - start);
            // A CR before a line feed is dropped too, or every line of a
            // CRLF template would end in a shown \x0d.
            if (end < source.size() && !text.empty() && text.back() == '\r') text.remove_suffix(1);
            // A long line is cut at a character boundary, so that the cut
            // itself does not show as stray bytes.
            bool cut = text.size() > SourceExcerpt::kMaxShownLine;
            if (cut) {
                std::size_t at = SourceExcerpt::kMaxShownLine;
                for (std::size_t back = 0; back < 3 && at > 0 && (text[at] & 0xc0) == 0x80; ++back)
                    --at;
                if ((text[at] & 0xc0) == 0x80) at = SourceExcerpt::kMaxShownLine;  // not UTF-8
                text = text.substr(0, at);
            }
            excerpt.lines.push_back({number, std::string(text), cut});
        }
        excerpt.line_count = number;
        start = end + 1;
    }
    // Kept until the reports are written, for every file with findings.
    excerpt.lines.shrink_to_fit();
    return excerpt;
}

}  // namespace

SourceExcerpt excerpt_of(std::string_view source, const std::vector<Finding>& findings) {
    std::vector<std::size_t> at;
    for (const Finding& f : findings)
        if (shown_in_place(f)) at.push_back(std::size_t(*f.line));
    return excerpt_around(source, at);
}

SourceExcerpt target_excerpt_of(std::string_view output, const std::vector<Finding>& findings,
                                const SourceExcerpt& source) {
    std::vector<std::size_t> at;
    for (const Finding& f : findings)
        if (shown_in_place(f) && f.output_line) at.push_back(std::size_t(*f.output_line));
    SourceExcerpt target = excerpt_around(output, at);
    // Lines cut alike are shown alike: only what the excerpt holds is shown.
    std::unordered_map<std::string_view, const SourceExcerpt::Line*> same;
    for (const SourceExcerpt::Line& l : source.lines) same.emplace(l.text, &l);
    for (SourceExcerpt::Line& l : target.lines) {
        auto it = same.find(l.text);
        if (it == same.end() || it->second->cut != l.cut) continue;
        l.same_as = it->second->number;
        std::string().swap(l.text);
    }
    return target;
}

}  // namespace tvconv::tree
