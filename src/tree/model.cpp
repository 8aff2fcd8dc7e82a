#include "tree/model.h"

#include <algorithm>

namespace tvconv::tree {

bool is_renamed(const Entry& e, const FileOutcome& r) {
    return e.kind == Kind::kTemplate && e.target != e.path &&
           (r.status == FileStatus::kConverted || r.status == FileStatus::kManual ||
            r.status == FileStatus::kEdited);
}

bool target_converted(const FileOutcome& r) {
    return r.status == FileStatus::kConverted || r.status == FileStatus::kManual;
}

std::string_view edited_in(const Entry& e, const FileOutcome& r) {
    return target_converted(r) || r.status == FileStatus::kEdited ? std::string_view(e.target)
                                                                  : std::string_view();
}

bool is_kept_by_hand(const FileOutcome& r) {
    return std::any_of(r.findings.begin(), r.findings.end(),
                       [](const Finding& f) { return f.code == DiagnosticCode::kept_by_hand; });
}

const char* kind_name(Kind k) {
    switch (k) {
        case Kind::kDirectory:
            return "directory";
        case Kind::kTemplate:
            return "template";
        case Kind::kFile:
            return "file";
        case Kind::kSkipped:
            return "other";
        case Kind::kExcluded:
            return "excluded";
    }
    return "";
}

namespace {

// The count a file status adds to, if any.
std::optional<Count> count_of(FileStatus s) {
    switch (s) {
        case FileStatus::kConverted:
            return Count::converted;
        case FileStatus::kManual:
            return Count::manual;
        case FileStatus::kEdited:
            return Count::edited;
        case FileStatus::kCopied:
            return Count::copied;
        case FileStatus::kNotCopied:
            return Count::not_copied;
        case FileStatus::kSkipped:
            return Count::skipped;
        case FileStatus::kExcluded:
            return Count::excluded;
        default:
            return std::nullopt;
    }
}

}  // namespace

ReportModel::ReportModel(const Options& options, const std::vector<Entry>& entries,
                         const std::vector<FileOutcome>& outcomes,
                         const std::vector<char>& finished, std::vector<Stale> stale,
                         bool interrupted)
    : options_(options), interrupted_(interrupted), stale_(std::move(stale)) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (finished[i]) add(entries[i], outcomes[i]);
    for (const Stale& s : stale_) {
        own_.push_back(Finding::at(DiagnosticCode::stale_target, std::nullopt,
                                   (s.source_exists ? "stale: the source is no longer converted; "
                                                    : "stale: the source is gone; ") +
                                       s.target + " was kept"));
        findings_.push_back({s.source, &own_.back(), Severity::note, nullptr});
    }
    counts_[std::size_t(Count::stale)] = stale_.size();
}

void ReportModel::add(const Entry& e, const FileOutcome& r) {
    rows_.push_back({&e, &r});
    auto bump = [&](Count c, std::size_t n = 1) { counts_[std::size_t(c)] += n; };
    bump(Count::templates, e.kind == Kind::kTemplate);
    bump(Count::other_files, e.kind == Kind::kFile);
    if (std::optional<Count> c = count_of(r.status)) bump(*c);
    // A directory that failed to be made is counted through its files; one
    // that could not be read, whose files are unknown, is counted itself.
    bump(Count::failed, r.status == FileStatus::kFailed &&
                            !(e.kind == Kind::kDirectory && (r.files_lost > 0 || r.quiet)));
    bump(Count::renamed, is_renamed(e, r));
    bump(Count::written, is_written(r.action));
    bump(Count::merged,
         r.action == Action::kMerged || (r.action == Action::kRecorded && !r.findings.empty() &&
                                         r.findings.front().code == DiagnosticCode::merged));
    bump(Count::conflicts, r.action == Action::kConflict && !r.conflicts.empty());
    bump(Count::kept, is_kept_by_hand(r));
    bump(Count::unchanged, r.action == Action::kUnchanged);
    skipped_template_ |= r.status == FileStatus::kSkipped && e.template_name;

    const SourceExcerpt* excerpt = r.excerpt ? &*r.excerpt : nullptr;
    const bool converted = target_converted(r);
    const std::string_view target = edited_in(e, r);
    const SourceExcerpt* target_excerpt = r.target_excerpt ? &*r.target_excerpt : nullptr;
    for (const Finding& f : r.findings) {
        bump(Count::references_rewritten, f.code == DiagnosticCode::reference_rewritten);
        findings_.push_back({e.path, &f, severity_of(f), excerpt, target,
                             converted ? f.output_line : std::nullopt, target_excerpt});
    }
    auto own = [&](DiagnosticCode code, std::string message) {
        own_.push_back(Finding::at(code, std::nullopt, std::move(message)));
        findings_.push_back({e.path, &own_.back(), severity(code), excerpt, target});
    };
    if (r.status == FileStatus::kFailed && !r.quiet)
        own(DiagnosticCode::file_failed, "failed: " + r.reason);
    else if (r.status == FileStatus::kSkipped)
        own(e.template_name ? DiagnosticCode::template_skipped : DiagnosticCode::file_skipped,
            "skipped: " + r.reason);
    else if (r.status == FileStatus::kEdited && !r.conflicts.empty())
        own(DiagnosticCode::merge_conflict,
            r.reason + " (" + std::to_string(r.conflicts.size()) +
                (r.conflicts.size() == 1 ? " conflicting hunk)" : " conflicting hunks)"));
    else if (r.status == FileStatus::kEdited)
        own(DiagnosticCode::edited_by_hand, r.reason);
}

int ReportModel::exit_status() const {
    if (interrupted_) return 130;
    if (count(Count::failed) > 0 || skipped_template_ || count(Count::templates) == 0) return 1;
    return count(Count::manual) + count(Count::edited) > 0 ? 3 : 0;
}

}  // namespace tvconv::tree
