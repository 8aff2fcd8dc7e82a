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
                break;
            default:
                break;
        }
        if (is_renamed(e, r))
            at(Count::renamed) += "    " + path + " -> " + printable(e.target) + "\n";
    }
};

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
    if (templates == 0 && !model.interrupted()) {
        std::string exts;
        for (const std::string& x : options.extensions) exts += (exts.empty() ? "." : ", .") + x;
        out += "tvconv-tree: no template found: no file name ends in " + exts +
               " (choose others with --ext)\n";
    }
    return out;
}

// What to do next, most pressing first.
std::string next_step(const ReportModel& model) {
    const Options& options = model.options();
    std::string target = options.target.empty() ? "the target" : printable(options.target);
    if (model.interrupted())
        return "next: run the same command again to finish; what was written is kept\n";
    if (model.count(Count::failed) || model.skipped_template())
        return "next: mend the failed and skipped files listed above in the source, then run "
               "again\n";
    if (model.count(Count::edited))
        return "next: the files edited by hand were kept; where their sources changed since, "
               "carry the changes over by hand (a --check run shows the conversion), or run with "
               "--force to overwrite the edits\n";
    if (model.count(Count::manual))
        return "next: edit the files listed above in " + target +
               "; a later run keeps those edits\n";
    if (model.count(Count::templates))
        return options.check ? "next: nothing is left to edit; run without --check to write\n"
                             : "next: nothing is left to edit; " + target + " is converted\n";
    return {};
}

}  // namespace

void append_entry_lines(std::string& out, const Entry& e, const FileOutcome& r) {
    for (const Finding& d : r.findings) {
        append_path(out, e);
        if (d.line) {
            out += ':';
            out += std::to_string(*d.line);
        }
        out += ": ";
        escape_to(out, d.message, terminal_policy());
        out += '\n';
    }
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
    } else if (r.status == FileStatus::kSkipped) {
        append_path(out, e);
        out += ": skipped: " + printable(r.reason) + "\n";
    } else if (r.status == FileStatus::kEdited) {
        out += printable(e.target) + ": " + printable(r.reason) + "\n";
    }
}

std::string entry_lines(const Entry& e, const FileOutcome& r) {
    std::string out;
    append_entry_lines(out, e, r);
    return out;
}

std::string summary_text(const ReportModel& model) {
    return counts_text(model) + next_step(model);
}

}  // namespace tvconv::tree
