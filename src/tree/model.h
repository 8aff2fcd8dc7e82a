// The report model: what every report of a run says, built once from the
// outcomes. The terminal summary, the JSON report, the SARIF log and the
// HTML page are views of it; none looks at the trees again.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "tree/options.h"
#include "tree/outcome.h"
#include "tree/walk.h"

namespace tvconv::tree {

// A target that the last run wrote and this one does not produce: its
// source is gone, or no longer converted (excluded, or no longer a
// template's name). Listed, never deleted.
struct Stale {
    std::string target;
    std::string source;
    bool source_exists = false;
};

// The numbers every report gives, in the order the JSON report lists them.
enum class Count {
    templates,
    other_files,
    converted,
    manual,
    edited,
    merged,
    conflicts,
    kept,
    failed,
    copied,
    not_copied,
    renamed,
    references_rewritten,
    written,
    unchanged,
    skipped,
    excluded,
    stale,
};
inline constexpr std::size_t kCountCount = std::size_t(Count::stale) + 1;

// When the terminal summary gives a number a line of its own.
enum class Shown { never, always, nonzero, without_copy, unless_check, unless_check_nonzero };

struct CountInfo {
    const char* key;       // the JSON report's, and the HTML page's data-key
    const char* label;     // the HTML page's
    const char* terminal;  // the terminal's, where it says more than `label`
    bool in_bar;           // a file status, in the HTML page's bar
    Shown shown;           // on the terminal
};
inline constexpr CountInfo kCountInfo[kCountCount] = {
    {"templates", "templates", nullptr, false, Shown::never},
    {"other_files", "other files", nullptr, false, Shown::never},
    {"converted", "converted cleanly", nullptr, true, Shown::always},
    {"manual", "converted with manual edits left", nullptr, true, Shown::always},
    {"edited", "edited by hand, not overwritten",
     "edited by hand since the last run, not overwritten", true, Shown::nonzero},
    {"merged", "edited by hand, source changes merged in",
     "edited by hand, the source's changes merged in", false, Shown::nonzero},
    {"conflicts", "merge conflicts, not overwritten",
     "edited by hand, the source's changes conflict (target kept)", false, Shown::nonzero},
    {"kept", "edited by hand, kept with their open findings",
     "edited by hand and kept (source unchanged)", false, Shown::nonzero},
    {"failed", "failed", nullptr, true, Shown::always},
    {"copied", "copied", nullptr, true, Shown::always},
    {"not_copied", "not copied (--no-copy)", nullptr, true, Shown::without_copy},
    {"renamed", "renamed", nullptr, false, Shown::always},
    {"references_rewritten", "references rewritten", nullptr, false, Shown::nonzero},
    {"written", "written", nullptr, false, Shown::unless_check},
    {"unchanged", "unchanged since the last run", nullptr, false, Shown::unless_check_nonzero},
    {"skipped", "skipped", nullptr, true, Shown::nonzero},
    {"excluded", "excluded", nullptr, false, Shown::nonzero},
    {"stale", "stale", "stale (source gone or no longer converted; target kept)", false,
     Shown::nonzero},
};

// One finding of the report: a finding of a conversion, or one that says a
// file failed, was skipped with a template's name, was kept because it was
// edited by hand, or is stale. Every report gives the same list.
struct Located {
    std::string_view path;  // relative to SOURCE
    const Finding* finding;
    Severity severity;
    const SourceExcerpt* excerpt;  // of the file at `path`, when kept
    // Where the user edits it: for a file converted (or kept as edited by
    // hand), its target relative to TARGET, else empty; and the line there
    // of the construct reported (none in a file edited by hand, whose lines
    // are the user's).
    std::string_view target = {};
    std::optional<int> target_line = {};
    const SourceExcerpt* target_excerpt = nullptr;  // of the target, when kept
};

// One finished entry with its outcome.
struct FileRow {
    const Entry* entry;
    const FileOutcome* outcome;
};

class ReportModel {
  public:
    // `finished` says which entries were finished: all of them unless the
    // run was interrupted.
    ReportModel(const Options& options, const std::vector<Entry>& entries,
                const std::vector<FileOutcome>& outcomes, const std::vector<char>& finished,
                std::vector<Stale> stale, bool interrupted);
    ReportModel(const ReportModel&) = delete;
    ReportModel& operator=(const ReportModel&) = delete;

    const Options& options() const { return options_; }
    bool interrupted() const { return interrupted_; }
    std::size_t count(Count c) const { return counts_[std::size_t(c)]; }
    bool skipped_template() const { return skipped_template_; }
    const std::vector<FileRow>& rows() const { return rows_; }
    const std::vector<Located>& findings() const { return findings_; }
    const std::vector<Stale>& stale() const { return stale_; }

    // 130 when interrupted; 1 when anything failed, a skipped entry has a
    // template's name, or no template was found; else 3 when manual edits
    // or checks are left (or a hand-edited file was kept), else 0.
    int exit_status() const;

  private:
    void add(const Entry& e, const FileOutcome& r);

    const Options& options_;
    bool interrupted_;
    std::array<std::size_t, kCountCount> counts_{};
    bool skipped_template_ = false;
    std::vector<FileRow> rows_;
    std::vector<Located> findings_;
    std::vector<Stale> stale_;
    std::deque<Finding> own_;  // the findings about files, which no conversion made
};

// Whether the entry's file took a new name (a macro file).
bool is_renamed(const Entry& e, const FileOutcome& r);
// Whether the page was edited by hand and kept with its open findings.
bool is_kept_by_hand(const FileOutcome& r);
// Whether the target holds (or, under --check, would hold) the conversion
// that the entry's findings come from, so that their output lines are its.
bool target_converted(const FileOutcome& r);
// The target the findings of the entry are edited in (relative to TARGET):
// that of a file converted or kept as edited by hand; else empty.
std::string_view edited_in(const Entry& e, const FileOutcome& r);
const char* kind_name(Kind k);

}  // namespace tvconv::tree
