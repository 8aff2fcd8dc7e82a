#include "tree/terminal.h"

#include <algorithm>

#include "tree/escape.h"

namespace tvconv::tree {

namespace {

void append_path(std::string& out, const Entry& e) {
    escape_to(out, e.path, terminal_policy());
    if (e.kind == Kind::kDirectory || e.directory) out += '/';
}

std::string shown_path(const Entry& e) {
    std::string out;
    append_path(out, e);
    return out;
}

// The files listed under the counts of the summary.
struct Lists {
    std::array<std::string, kCountCount> of;

    explicit Lists(const ReportModel& model) {
        for (const FileRow& row : model.rows()) add(*row.entry, *row.outcome);
        for (const Stale& s : model.stale())
            at(Count::stale) +=
                "    " + printable(s.target) + " (from " + printable(s.source) + ")\n";
    }
    std::string& at(Count c) { return of[std::size_t(c)]; }

    // Each conflicting hunk, its three sides a few lines each.
    void add_conflicts(const Entry& e, const FileOutcome& r) {
        std::string& out = at(Count::conflicts);
        out += "    " + printable(e.target) + ": " + std::to_string(r.conflicts.size()) +
               (r.conflicts.size() == 1 ? " conflicting hunk\n" : " conflicting hunks\n");
        for (const ConflictHunk& h : r.conflicts) {
            out += "      at line " + std::to_string(h.line) + " of the merge:\n";
            if (h.base_known)
                side(out, "last conversion", h.base);
            else
                out += "        last conversion: (not told apart from the hunks around)\n";
            side(out, "target (yours)", h.ours);
            side(out, "new conversion", h.theirs);
        }
    }
    static void side(std::string& out, const char* name, const std::string& text) {
        constexpr std::size_t kShown = 4;
        std::size_t lines = 0, start = 0;
        out += std::string("        ") + name + ":" + (text.empty() ? " (nothing)\n" : "\n");
        for (; start < text.size() && lines < kShown; ++lines) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            out += "          | " + printable(text.substr(start, end - start)) + "\n";
            start = end + 1;
        }
        if (start < text.size()) {
            const auto more = std::count(text.begin() + std::ptrdiff_t(start), text.end(), '\n') +
                              (text.back() != '\n');
            out += "          | ... " + plural_lines(std::size_t(more)) + " more\n";
        }
    }
    static std::string plural_lines(std::size_t n) {
        return std::to_string(n) + (n == 1 ? " line" : " lines");
    }

    void add(const Entry& e, const FileOutcome& r) {
        const std::string path = shown_path(e);
        switch (r.status) {
            case FileStatus::kManual: {
                auto n = std::count_if(r.findings.begin(), r.findings.end(), [](const Finding& f) {
                    return severity_of(f) == Severity::warning;
                });
                at(Count::manual) += "    " + path + " (" + std::to_string(n) +
                                     (n == 1 ? " diagnostic)\n" : " diagnostics)\n");
                break;
            }
            case FileStatus::kFailed:
                if (!r.quiet)
                    at(Count::failed) += "    " + path + ": " + printable(r.reason) + "\n";
                break;
            case FileStatus::kSkipped:
                at(Count::skipped) += "    " + path + ": " + printable(r.reason) + "\n";
                break;
            case FileStatus::kExcluded:
                at(Count::excluded) += "    " + path + ": " + printable(r.reason) + "\n";
                break;
            case FileStatus::kEdited:
                at(Count::edited) += "    " + printable(e.target) + "\n";
                if (!r.conflicts.empty()) add_conflicts(e, r);
                break;
            default:
                break;
        }
        if (r.action == Action::kMerged) at(Count::merged) += "    " + printable(e.target) + "\n";
        // Listed when kept by this run; a re-run counts it quietly.
        if (is_kept_by_hand(r) && r.action == Action::kKept)
            at(Count::kept) += "    " + printable(e.target) + "\n";
        if (is_renamed(e, r))
            at(Count::renamed) += "    " + path + " -> " + printable(e.target) + "\n";
    }
};

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool shown(Shown when, std::size_t n, const Options& options) {
    switch (when) {
        case Shown::never:
            return false;
        case Shown::always:
            return true;
        case Shown::nonzero:
            return n > 0;
        case Shown::without_copy:
            return !options.copy;
        case Shown::unless_check:
            return !options.check;
        case Shown::unless_check_nonzero:
            return !options.check && n > 0;
    }
    return false;
}

// Why no template was found: the patterns of --exclude, when they left out
// anything that is or may hold one, else the extensions.
std::string no_template(const ReportModel& model) {
    const Options& options = model.options();
    std::size_t excluded = 0;
    for (const FileRow& row : model.rows())
        excluded += row.outcome->status == FileStatus::kExcluded &&
                    (row.entry->template_name || row.entry->directory) &&
                    row.outcome->reason.starts_with("excluded by --exclude");
    if (excluded)
        return "tvconv-tree: no template found outside the " + plural(excluded, "path", "paths") +
               " that --exclude leaves out (check the patterns)\n";
    std::string exts;
    for (const std::string& x : options.extensions) exts += (exts.empty() ? "." : ", .") + x;
    return "tvconv-tree: no template found: no file name ends in " + exts +
           " (choose others with --ext)\n";
}

std::string counts_text(const ReportModel& model) {
    const Options& options = model.options();
    const std::size_t templates = model.count(Count::templates),
                      files = model.count(Count::other_files);
    std::string out;
    if (model.interrupted()) out += "tvconv-tree: interrupted; what was done so far:\n";
    out += "tvconv-tree: " + std::to_string(templates) +
           (templates == 1 ? " template, " : " templates, ") + std::to_string(files) +
           (files == 1 ? " other file" : " other files") +
           (options.check ? " (check only: nothing written)\n" : "\n");
    Lists lists(model);
    for (std::size_t i = 0; i < kCountCount; ++i) {
        const CountInfo& info = kCountInfo[i];
        const std::size_t n = model.count(Count(i));
        if (!shown(info.shown, n, options)) continue;
        out += std::string("  ") + (info.terminal ? info.terminal : info.label) + ": " +
               std::to_string(n) + "\n" + lists.of[i];
    }
    if (templates == 0 && !model.interrupted()) out += no_template(model);
    return out;
}

// Under --check: what a run without it would write. It would leave alone
// what a last run into the same target left unchanged.
std::string would_write(const ReportModel& model) {
    const std::size_t templates = model.count(Count::converted) + model.count(Count::manual),
                      copies = model.count(Count::copied);
    std::string out =
        "a run without --check would write " + plural(templates, "template", "templates");
    if (copies) out += " and copy " + plural(copies, "file", "files");
    if (!model.options().target.empty()) out += " (less what its last run left unchanged)";
    return out;
}

std::string mend_step(const ReportModel& model) {
    const bool failed = model.count(Count::failed) > 0, skipped = model.skipped_template();
    return std::string("next: mend the ") +
           (failed && skipped ? "failed and skipped files"
            : failed          ? "failed files"
                              : "skipped templates") +
           " listed above, then run again\n";
}

// Pages whose merge conflicts: where to see and resolve them.
std::string conflict_step(const ReportModel& model, std::size_t conflicts,
                          const std::string& target) {
    const Options& options = model.options();
    std::string out =
        "next: " + plural(conflicts, "page", "pages") +
        (conflicts == 1 ? " edited by hand conflicts with its source's changes and was kept; "
                        : " edited by hand conflict with their sources' changes and were kept; ");
    if (!options.conflicts.empty())
        out += "resolve the conflict markers in " + printable(options.conflicts) +
               " (the hunks are listed above)";
    else
        out += "run again with --conflicts DIR to get " +
               std::string(conflicts == 1 ? "it" : "each") +
               " with conflict markers in DIR (the hunks are listed above, and in the "
               "--report and --html reports)";
    return out + ", copy the resolved " + (conflicts == 1 ? "page" : "pages") + " into " + target +
           " and run again";
}

// What to do next, most pressing first. Every state a run can end in says
// something true of it: --check writes nothing, so under it the line says
// what a real run would do.
std::string next_step(const ReportModel& model) {
    const Options& options = model.options();
    std::string target = options.target.empty() ? "the target" : printable(options.target);
    if (model.interrupted())
        return options.check ? "next: run the same command again to finish\n"
                             : "next: run the same command again to finish; what was written "
                               "is kept\n";
    if (model.count(Count::failed) || model.skipped_template()) return mend_step(model);
    const std::size_t manual = model.count(Count::manual);
    if (const std::size_t conflicts = model.count(Count::conflicts))
        return conflict_step(model, conflicts, target) +
               (manual ? "; edit the files with manual edits left in " + target : "") + "\n";
    if (model.count(Count::edited))
        return "next: the files edited by hand were kept; where their sources changed since, "
               "carry the changes over by hand (--diff shows each conversion), or run with "
               "--force to overwrite the edits" +
               (manual ? "; edit the files with manual edits left in " + target : "") + "\n";
    if (manual && options.check)
        return "next: " + would_write(model) + "; then edit the " +
               plural(manual, "file", "files") + " with manual edits left, listed above\n";
    if (manual)
        return "next: edit the files listed above in " + target +
               "; a later run keeps those edits\n";
    if (model.count(Count::templates))
        return options.check ? "next: nothing is left to edit; " + would_write(model) + "\n"
                             : "next: nothing is left to edit; " + target + " is converted\n";
    return {};
}

// Whether a finding is shown on the terminal. A note about a file that this
// run left as the last one wrote it was shown then: on an unchanged re-run
// of a large site such notes would bury everything else.
bool shows(const Finding& f, const FileOutcome& r, Verbosity verbosity) {
    if (verbosity == Verbosity::kVerbose || severity_of(f) != Severity::note) return true;
    if (verbosity == Verbosity::kQuiet) return false;
    return r.action != Action::kUnchanged && r.action != Action::kRecorded;
}

// A finding where the user edits it: TARGET:LINE: MESSAGE (source line N),
// naming the source too when the file was renamed; PATH:LINE: MESSAGE for a
// file with no target.
void append_finding(std::string& out, const Entry& e, const FileOutcome& r, const Finding& d) {
    const std::string_view target = edited_in(e, r);
    if (target.empty())
        append_path(out, e);
    else
        escape_to(out, target, terminal_policy());
    const std::optional<int> line = target.empty()        ? d.line
                                    : target_converted(r) ? d.output_line
                                                          : std::nullopt;
    if (line) out += ':' + std::to_string(*line);
    out += ": ";
    escape_to(out, d.message, terminal_policy());
    if (!target.empty() && (d.line || target != e.path)) {
        out += " (source ";
        if (target != e.path) append_path(out, e);
        if (d.line) out += (target != e.path ? " line " : "line ") + std::to_string(*d.line);
        out += ')';
    }
    out += '\n';
}

}  // namespace

void append_entry_lines(std::string& out, const Entry& e, const FileOutcome& r,
                        Verbosity verbosity) {
    for (const Finding& d : r.findings)
        if (shows(d, r, verbosity)) append_finding(out, e, r, d);
    if (r.status == FileStatus::kFailed && !r.quiet) {
        append_path(out, e);
        out += ": failed: " + printable(r.reason);
        if (e.kind != Kind::kDirectory)
            out += "; not written\n";
        else if (r.files_lost > 0)
            out += "; " + std::to_string(r.files_lost) +
                   (r.files_lost == 1 ? " file in it is" : " files in it are") + " not written\n";
        else
            out += "; its contents are not converted\n";
    } else if (r.status == FileStatus::kSkipped &&
               (e.template_name || verbosity != Verbosity::kQuiet)) {
        append_path(out, e);
        out += ": skipped: " + printable(r.reason) + "\n";
    } else if (r.status == FileStatus::kEdited) {
        out += printable(e.target) + ": " + printable(r.reason) + "\n";
    }
}

std::string entry_lines(const Entry& e, const FileOutcome& r, Verbosity verbosity) {
    std::string out;
    append_entry_lines(out, e, r, verbosity);
    return out;
}

std::string summary_text(const ReportModel& model) {
    return counts_text(model) + next_step(model);
}

}  // namespace tvconv::tree
