// What happened to one entry of the walk: the file's status, what was done
// to its target, its findings, and what the reports need of its source.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "context/codes.h"
#include "tree/merge.h"
#include "tree/record.h"

namespace tvconv::tree {

enum class FileStatus {
    kDone,       // a directory that was made (or is there already)
    kConverted,  // a template converted with nothing left to do by hand
    kManual,     // converted, and its diagnostics ask for manual edits or checks
    kFailed,
    kCopied,
    kNotCopied,  // --no-copy
    kSkipped,
    kExcluded,
    kEdited,  // the target was edited by hand since it was written: kept
};

// What the run did with the target file of an entry.
enum class Action {
    kNone,       // nothing to write (--check, failures, directories, ...)
    kWritten,    // written, new or over the file the last run wrote
    kUnchanged,  // its inputs are unchanged since the last run: not rewritten
    kRecorded,   // it already held exactly the conversion: only recorded
    kKept,       // edited by hand: not overwritten
    kMerged,     // edited by hand: the new conversion merged into it, and written
    kConflict,   // edited by hand: the merge conflicts, so not overwritten
};

// Whether the target file was written (and so waits for its batch).
inline bool is_written(Action a) {
    return a == Action::kWritten || a == Action::kMerged;
}

const char* file_status_name(FileStatus s);
const char* action_name(Action a);

inline Severity severity_of(const Finding& f) {
    return severity(f.code);
}

// The source lines the HTML report shows around the findings of one file,
// kept when the file is read so that no report reads the source again: only
// the lines within kContextLines of a finding, each cut to kMaxShownLine.
struct SourceExcerpt {
    static constexpr std::size_t kContextLines = 3;
    // A line longer than this is cut: a template may be one 50 MB line.
    static constexpr std::size_t kMaxShownLine = 400;
    struct Line {
        std::size_t number;
        std::string text;  // without its line feed (and a CR before it)
        bool cut;
        // In a target's excerpt: the number of the source's line that is
        // the same, whose text is not held twice (this text is then empty).
        std::size_t same_as = 0;
    };
    std::size_t line_count = 0;
    std::vector<Line> lines;  // by number

    // The line numbered `number`, if the excerpt holds it.
    const Line* line(std::size_t number) const;
};

// The lines of `source` around the findings the HTML report shows.
SourceExcerpt excerpt_of(std::string_view source, const std::vector<Finding>& findings);
// The lines of the converted bytes around those findings' output lines; a
// line that is one of `source`'s is given as its number.
SourceExcerpt target_excerpt_of(std::string_view output, const std::vector<Finding>& findings,
                                const SourceExcerpt& source);
// Whether the HTML report shows source lines for any of `findings`.
bool wants_excerpt(const std::vector<Finding>& findings);

struct FileOutcome {
    FileStatus status = FileStatus::kFailed;
    Action action = Action::kNone;
    std::string reason;  // why it failed, was skipped or excluded, or was kept
    std::vector<Finding> findings;
    // Failed only because its directory could not be made: that directory's
    // line reports it, so this entry prints none of its own.
    bool quiet = false;
    // For a failed directory: how many files under it were not written.
    std::size_t files_lost = 0;
    // With --diff: the diff from the template to its conversion, printed in
    // walk order and then dropped.
    std::string diff;
    // With --html, for a file with findings to show in place: its source's
    // lines, and its conversion's (the target's) when it was converted.
    std::optional<SourceExcerpt> excerpt;
    std::optional<SourceExcerpt> target_excerpt;
    // Where the merge into a page edited by hand conflicts (Action::kConflict).
    std::vector<ConflictHunk> conflicts;
    // With --diff: the merge a run would write into a page edited by hand
    // (with conflict markers where it conflicts), to diff to instead of the
    // conversion.
    std::optional<std::string> merge_text;
};

}  // namespace tvconv::tree
