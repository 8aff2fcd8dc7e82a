// What happened to each entry, and the report built from it: lines on
// standard error in walk order, the summary, and the JSON document.
#pragma once

#include <string>
#include <vector>

#include "tree/options.h"
#include "tree/state.h"
#include "tree/walk.h"

namespace tvconv::tree {

enum class Status {
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
};

struct Result {
    Status status = Status::kFailed;
    Action action = Action::kNone;
    std::string reason;  // why it failed, was skipped or excluded, or was kept
    std::vector<Finding> findings;
    // Failed only because its directory could not be made: that directory's
    // line reports it, so this entry prints none of its own.
    bool quiet = false;
    // For a failed directory: how many files under it were not written.
    std::size_t files_lost = 0;
};

// Severity of a finding's code: "note", "warning" or "error".
const char* severity_of(const std::string& code);

// A target whose source is gone since the last run: listed, never deleted.
struct Stale {
    std::string target;
    std::string source;
};

struct RunReport {
    const Options& options;
    const std::vector<Entry>& entries;
    const std::vector<Result>& results;
    const std::vector<Stale>& stale;
    // Which entries were finished: all of them, unless interrupted.
    const std::vector<char>& finished;
    bool interrupted = false;
};

// The report lines of one entry: its diagnostics, then whether it failed,
// was skipped or was kept.
std::string entry_lines(const Entry& entry, const Result& result);

std::string summary_text(const RunReport& run);

// 130 when interrupted; 1 when anything failed, a skipped entry has a
// template's name, or no template was found; else 3 when manual edits or
// checks are left (or a hand-edited file was kept), else 0.
int exit_status(const RunReport& run);

std::string json_report(const RunReport& run, int status);

// `bytes` as a JSON string, the way the JSON report writes names and
// messages: UTF-8 as it is, each other byte as a lone surrogate U+DCxx.
std::string json_text(const std::string& bytes);

}  // namespace tvconv::tree
