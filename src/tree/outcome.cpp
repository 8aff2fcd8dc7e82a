#include "tree/outcome.h"

#include <algorithm>

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

SourceExcerpt excerpt_of(std::string_view source, const std::vector<Finding>& findings) {
    constexpr std::size_t kAround = SourceExcerpt::kContextLines;
    std::vector<std::pair<std::size_t, std::size_t>> wanted;  // line ranges
    for (const Finding& f : findings)
        if (shown_in_place(f)) {
            std::size_t at = std::size_t(*f.line);
            wanted.emplace_back(at > kAround ? at - kAround : 1, at + kAround);
        }
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
    return excerpt;
}

}  // namespace tvconv::tree
