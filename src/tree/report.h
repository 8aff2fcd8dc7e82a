// What happened to each entry, and the report built from it: lines on
// standard error in walk order, the summary, and the JSON document.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tree/options.h"
#include "tree/record.h"
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
    // With --diff: the diff from the template to its conversion, printed in
    // walk order and then dropped.
    std::string diff;
};

// Severity of a finding's code: "note", "warning" or "error".
const char* severity_of(const std::string& code);

// Every code a report can carry, with a short help text for it.
struct CodeHelp {
    const char* code;
    const char* help;
};
extern const CodeHelp kCodeHelp[];
extern const std::size_t kCodeHelpCount;

// One thing a report tells about one file: a finding of its conversion, or
// that the file failed, was skipped with a template's name, or was kept
// because it was edited by hand. Every report gives the same list.
struct Item {
    std::string path;  // relative to SOURCE
    std::optional<int> line;
    std::string code;
    std::string severity;
    std::string message;
};
struct RunReport;
std::vector<Item> report_items(const RunReport& run);

// A target that the last run wrote and this one does not produce: its
// source is gone, or no longer converted (excluded, or no longer a
// template's name). Listed, never deleted.
struct Stale {
    std::string target;
    std::string source;
    bool source_exists = false;
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

// Whether the entry's file took a new name (a macro file).
bool is_renamed(const Entry& e, const Result& r);
const char* status_name(Status s);
const char* action_name(Action a);
const char* kind_name(Kind k);

// The numbers that every report gives, counted once.
struct Summary {
    std::size_t templates = 0, files = 0;
    std::size_t status[9] = {};
    std::size_t failed = 0;  // files and directories, those in a failed directory once each
    std::size_t renamed = 0, written = 0, unchanged = 0, rewritten = 0;
    bool skipped_template = false;

    explicit Summary(const RunReport& run);
    std::size_t of(Status s) const { return status[int(s)]; }
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
