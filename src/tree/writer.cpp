#include "tree/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <list>
#include <set>

#include "tree/carry.h"
#include "tree/content_hash.h"
#include "tree/io.h"
#include "tree/merge.h"
#include "tree/output.h"
#include "tree/paths.h"
#include "tree/plan.h"

namespace tvconv::tree {

namespace {

class DryWriter final : public Writer {
  public:
    std::size_t prepare(const std::vector<Entry>&) override { return 0; }
    Error make_directory(const std::string&) override { return {}; }
    Error inspect(const std::string&, TargetState&) override { return {}; }
    void commit_template(const Entry&, const Plan&, std::string_view, std::string_view,
                         FileOutcome&, unsigned) override {}
    void commit_copy(const Entry&, const Plan&, FileOutcome&, unsigned) override {}
    std::vector<Stale> stale(const std::vector<Entry>&) override { return {}; }
    Error finish() override { return {}; }
};

// The content hash of the file at `path`, or empty when it cannot be read.
std::string hash_of_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string hash;
    Error error = content_hash_of(fd, hash);
    ::close(fd);
    return error ? std::string() : hash;
}

class TreeWriter final : public Writer {
  public:
    TreeWriter(const Options& options, std::string source_root, std::string target_root,
               Record& record, bool preview)
        : options_(options),
          preview_(preview),
          source_(std::move(source_root)),
          target_(std::move(target_root)),
          record_(record),
          guard_(source_) {}

    std::size_t prepare(const std::vector<Entry>& entries) override {
        if (preview_) return 0;
        std::size_t leftovers = remove_leftovers(target_);
        for (const Entry& e : entries)
            if (e.kind == Kind::kDirectory) leftovers += remove_leftovers(join(target_, e.target));
        return leftovers;
    }

    Error make_directory(const std::string& rel) override {
        return preview_ ? Error() : guard_.make_directory(join(target_, rel));
    }

    Error inspect(const std::string& rel, TargetState& state) override {
        const std::string target = join(target_, rel);
        if (Error refused = guard_.refuse(target)) return refused;
        state.known = record_.find(rel);
        struct stat st;
        if (::lstat(target.c_str(), &st) == 0) {
            state.id = identity_of(st);
            state.mode = st.st_mode & 07777;
        }
        return {};
    }

    void commit_template(const Entry& e, const Plan& plan, std::string_view source,
                         std::string_view output, FileOutcome& r, unsigned) override {
        if (preview_) return preview(e, plan, output, r);
        const std::string written = content_hash(output);
        FileRecord file{e.path,       plan.source_id, content_hash(source),
                        *plan.inputs, written,        {},
                        r.findings,   written,        {}};
        Intent intent;
        if (!plan.target.id) intent.held = Intent::Held::kNoFile;
        Merge merge{output, {}};
        if (plan.target.id && settled(e, plan, file, intent, r, &merge)) return;
        // Stored before its file is staged: the intent names it.
        if (Error problem = record_.put_base(file.base_hash, output)) {
            r = failed_outcome(problem.message());
            return;
        }
        const std::string_view bytes = r.action == Action::kMerged ? merge.merged : output;
        stage(e, std::move(file), std::move(intent), r,
              [&](unsigned slot, std::string& temp, struct stat& st, FileRecord&) {
                  return guard_.stage_file(join(target_, e.target), bytes, e.mode, slot, temp, st);
              });
    }

    void commit_copy(const Entry& e, const Plan& plan, FileOutcome& r, unsigned) override {
        if (preview_) return;
        FileRecord file{e.path, plan.source_id, {}, *plan.inputs, {}, {}, r.findings, {}, {}};
        Intent intent;
        if (!plan.target.id) intent.held = Intent::Held::kNoFile;
        // A file already there is compared with the source before anything
        // is copied; a new one needs no hash but the copy's.
        if (plan.target.id) {
            if (Error problem = content_hash_of(plan.source.fd(), file.source_hash)) {
                r = failed_outcome(problem.message());
                return;
            }
            file.written_hash = file.source_hash;
            if (settled(e, plan, file, intent, r, nullptr)) return;
        }
        // What was copied is what is recorded, even if the source changed
        // since it was hashed above.
        stage(e, std::move(file), std::move(intent), r,
              [&](unsigned slot, std::string& temp, struct stat& st, FileRecord& f) {
                  std::string copied;
                  Error error = guard_.stage_copy(join(source_, e.path), join(target_, e.target),
                                                  e.mode, slot, temp, st, copied);
                  f.source_hash = f.written_hash = copied;
                  return error;
              });
    }

    std::vector<Stale> stale(const std::vector<Entry>& entries) override;

    Error finish() override { return !preview_ && record_.changed() ? record_.save() : Error(); }

    unsigned use_slots(unsigned first, unsigned writers) override {
        return preview_ ? 0 : record_.use_slots(first, writers);
    }
    void on_placed(Placed placed) override {
        if (preview_) return;
        record_.on_placed([placed = std::move(placed)](const void* token, const Error& error) {
            placed(*static_cast<const Entry*>(token), error);
        });
    }
    void flush() override {
        if (!preview_) record_.flush_or_keep();
    }

  private:
    // A template's conversion, and what a merge into a page edited by hand
    // makes of it.
    struct Merge {
        std::string_view output;
        std::string merged;
    };
    // What lies at a target: its hash, whether the tool left it, and its
    // last conversion (`hash` itself for a page written as converted).
    struct Held {
        std::string hash, base;
        bool ours = false;
    };
    Held held_at(const Entry& e, const Plan& plan);
    bool settled(const Entry& e, const Plan& plan, FileRecord& file, Intent& intent, FileOutcome& r,
                 Merge* merge);
    bool claim_held(const Entry& e, const Plan& plan, FileRecord& file, FileOutcome& r,
                    std::string_view base_bytes);
    bool kept(const Entry& e, const Plan& plan, const Held& held, FileRecord& file, FileOutcome& r,
              std::string_view output);
    bool merged(const Entry& e, const Held& held, FileRecord& file, Intent& intent, FileOutcome& r,
                Merge& merge);
    void conflict(const Entry& e, const MergeResult& result, FileOutcome& r);
    bool conflict_open(const Entry& e, const FileRecord& known);
    void remember_conflict(const Entry& e, const Held& held, const FileRecord& file,
                           std::string_view output, std::string_view page);
    using Fill =
        std::function<Error(unsigned slot, std::string& temp, struct stat& st, FileRecord& file)>;
    void stage(const Entry& e, FileRecord file, Intent intent, FileOutcome& r, const Fill& fill);

    void preview(const Entry& e, const Plan& plan, std::string_view output, FileOutcome& r);

    const Options& options_;
    const bool preview_;  // --diff: writes nothing, shows the merges
    const std::string source_, target_;
    Record& record_;
    TargetWriter guard_;
};

// What the target holds, and whether the record or an intent a killed run
// left says the tool put it there; for a hand edit, the base is the last
// conversion the record knows.
TreeWriter::Held TreeWriter::held_at(const Entry& e, const Plan& plan) {
    const FileRecord* known = plan.target.known;
    Held h;
    h.hash = known && known->target_id == *plan.target.id ? known->written_hash
                                                          : hash_of_file(join(target_, e.target));
    const Intent* announced = record_.intent(e.target);
    if (known && h.hash == known->written_hash) {
        h.ours = true;
        h.base = known->base_hash.empty() ? h.hash : known->base_hash;
    } else if (announced && announced->covers(h.hash)) {
        h.ours = true;
        h.base = announced->base_of(h.hash);
    } else if (known) {
        // Changed since a conflict was reported: resolved, from the new
        // conversion of then, unless the edit left the conflicting lines as
        // they were; then the merge is made again from the last conversion.
        h.base = known->conflict_base.empty() || conflict_open(e, *known) ? known->base_hash
                                                                          : known->conflict_base;
    }
    return h;
}

// Whether the page at the target, changed since the conflict the record
// holds, still has every conflicting region of the page of then as it was
// (an edit made elsewhere). False when that cannot be told: an old record,
// or regions that were deleted by hand, leave the change counting as the
// resolution, as it always did.
bool TreeWriter::conflict_open(const Entry& e, const FileRecord& known) {
    std::string base, then, theirs, now;
    if (record_.load_base(known.base_hash, base) || record_.load_base(known.written_hash, then) ||
        record_.load_base(known.conflict_base, theirs) || read_file(join(target_, e.target), now))
        return false;
    MergeResult result;
    if (merge_text(base, then, theirs, merge_labels(e.target), result) || result.clean)
        return false;
    bool any = false;
    for (const ConflictHunk& hunk : result.conflicts) {
        if (hunk.ours.empty()) continue;
        any = true;
        if (!now.starts_with(hunk.ours) && now.find("\n" + hunk.ours) == std::string::npos)
            return false;
    }
    return any;
}

// A file already at the target is overwritten only when it still holds what
// this tool wrote there as converted, or what a killed run announced it
// would write there. One that holds this very conversion is recorded
// whatever the record said (a run killed after replacing it but before
// journalling it leaves it so), and given the source's mode. A page edited
// by hand (or merged before) takes the new conversion by a merge, when its
// last conversion is stored. Returns whether the entry is settled without a
// write; if not, `intent` says what the target holds.
bool TreeWriter::settled(const Entry& e, const Plan& plan, FileRecord& file, Intent& intent,
                         FileOutcome& r, Merge* merge) {
    const Held held = held_at(e, plan);
    if (held.hash == file.written_hash)
        return claim_held(e, plan, file, r, merge ? merge->output : std::string_view());
    if (held.ours) {
        intent.held = Intent::Held::kHash;
        intent.held_hash = held.hash;
        if (held.base != held.hash) intent.held_base = held.base;
        if (held.base == held.hash || options_.force) return false;
    } else if (options_.force) {
        return false;
    }
    if (merge && kept(e, plan, held, file, r, merge->output)) return true;
    if (merge && options_.merge && !held.base.empty() && merged(e, held, file, intent, r, *merge)) {
        if (r.action != Action::kMerged) return true;      // a conflict, kept
        if (file.written_hash != held.hash) return false;  // to be written
        // The page holds the merge already (a resolved conflict copied in).
        r.action = Action::kRecorded;
        return claim_held(e, plan, file, r, merge->output);
    }
    r = outcome_with(FileStatus::kEdited,
                     plan.target.known || held.ours
                         ? "edited by hand since the last run; not overwritten"
                         : "differs from its conversion and no record of an earlier run covers "
                           "it; not overwritten");
    r.action = Action::kKept;
    return true;
}

// The target holds `file` already: recorded, with the source's mode.
bool TreeWriter::claim_held(const Entry& e, const Plan& plan, FileRecord& file, FileOutcome& r,
                            std::string_view base_bytes) {
    const FileRecord* known = plan.target.known;
    const std::string target = join(target_, e.target);
    file.target_id = *plan.target.id;
    const bool same_mode = !plan.target.mode || *plan.target.mode == (e.mode & 07777);
    if (!same_mode && ::chmod(target.c_str(), e.mode & 07777) != 0) {
        r = failed_outcome(std::string("cannot write: ") + std::strerror(errno));
        return true;
    }
    Error problem;
    if (!file.base_hash.empty() && (!known || known->base_hash != file.base_hash))
        problem = record_.put_base(file.base_hash, base_bytes);
    if (!problem) problem = record_.claim(e.target, file);
    if (problem) {
        r = failed_outcome(problem.message());
        return true;
    }
    r.action =
        known && known->source_id == plan.source_id && known->inputs == *plan.inputs && same_mode
            ? Action::kUnchanged
            : Action::kRecorded;
    return true;
}

// Merges the new conversion into the page at the target, whose last
// conversion is `held.base`. Returns false when there is nothing to merge
// (the source brought no change) or nothing to merge with (the base is not
// stored): the page is kept as it is. Otherwise `r` says what came of it:
// merged (`file` and `intent` then name the merge), or a conflict, kept.
// A page edited by hand whose conversion is still its last one: kept, with
// the findings its lines still hold, and recorded as it is now (its base
// stays the conversion) so that an unchanged re-run leaves it alone and a
// later source change merges into it. Returns false, for the old
// behaviour, when there is no base to compare with.
bool TreeWriter::kept(const Entry& e, const Plan& plan, const Held& held, FileRecord& file,
                      FileOutcome& r, std::string_view output) {
    const FileRecord* known = plan.target.known;
    if (held.base != file.written_hash || !known || !known->conflict_base.empty()) return false;
    std::string page;
    if (read_file(join(target_, e.target), page) || content_hash(page) != held.hash) return false;
    std::vector<Finding> open = carry_findings(output, page, r.findings);
    const FileStatus status = converted_status(open);
    open.push_back(
        Finding::at(DiagnosticCode::kept_by_hand, std::nullopt,
                    status == FileStatus::kConverted
                        ? "edited by hand; kept, nothing is left to do in it"
                        : "edited by hand; kept, with the findings its lines still hold"));
    r.status = status;
    r.findings = open;
    if (r.excerpt) r.target_excerpt = target_excerpt_of(page, r.findings, *r.excerpt);
    file.findings = std::move(open);
    file.base_hash = held.base;
    file.written_hash = held.hash;
    claim_held(e, plan, file, r, output);
    // A page the record holds as it is (kept or merged before) whose source
    // was only touched is recorded; else this run found the edit.
    if (r.status != FileStatus::kFailed && !held.ours) r.action = Action::kKept;
    return true;
}

bool TreeWriter::merged(const Entry& e, const Held& held, FileRecord& file, Intent& intent,
                        FileOutcome& r, Merge& merge) {
    // The same conversion as the base: the source brought nothing new, unless
    // this is the conversion a conflict left to resolve.
    const FileRecord* known = record_.find(e.target);
    if (held.base == file.written_hash && !held.ours && (!known || known->conflict_base.empty()))
        return false;
    std::string base, ours;
    if (record_.load_base(held.base, base)) return false;
    if (read_file(join(target_, e.target), ours) || content_hash(ours) != held.hash) return false;
    MergeResult result;
    if (Error problem = merge_text(base, ours, merge.output, merge_labels(e.target), result)) {
        r = failed_outcome(problem.message());
        return true;
    }
    if (!result.clean) {
        conflict(e, result, r);
        if (preview_) {
            merge.merged = std::move(result.text);
            return true;
        }
        remember_conflict(e, held, file, merge.output, ours);
        return true;
    }
    // The conversion's findings where the merge put them; the note is said
    // once, by this run, and not recorded.
    r.findings = carry_findings(merge.output, result.text, r.findings);
    r.status = converted_status(r.findings);
    file.findings = r.findings;
    if (r.excerpt) r.target_excerpt = target_excerpt_of(result.text, r.findings, *r.excerpt);
    r.findings.insert(r.findings.begin(),
                      Finding::at(DiagnosticCode::merged, std::nullopt,
                                  "merged the source's changes into the page edited by hand"));
    r.action = Action::kMerged;
    file.base_hash = file.written_hash;  // the conversion merged in
    file.written_hash = content_hash(result.text);
    intent.base_hash = file.base_hash;
    merge.merged = std::move(result.text);
    return true;
}

// The record takes the page as it is, with its base, and the new conversion
// for the base once the page is resolved. The source stays as last recorded,
// so the next run merges again.
void TreeWriter::remember_conflict(const Entry& e, const Held& held, const FileRecord& file,
                                   std::string_view output, std::string_view page) {
    const FileRecord* known = record_.find(e.target);
    struct stat st;
    if (!known || ::lstat(join(target_, e.target).c_str(), &st) != 0) return;
    FileRecord kept = *known;
    kept.written_hash = held.hash;
    kept.base_hash = held.base;
    kept.target_id = identity_of(st);
    kept.conflict_base = file.written_hash;
    if (!record_.put_base(kept.conflict_base, output) && !record_.put_base(held.hash, page))
        (void)record_.claim(e.target, kept);
}

// Keeps the page; with --conflicts, writes the merge with its markers there.
void TreeWriter::conflict(const Entry& e, const MergeResult& result, FileOutcome& r) {
    r = outcome_with(FileStatus::kEdited,
                     "edited by hand since the last run, and the source's changes conflict with "
                     "the edits; not overwritten");
    r.action = Action::kConflict;
    r.conflicts = result.conflicts;
    if (options_.conflicts.empty() || preview_) return;
    const std::string path = join(options_.conflicts, e.target);
    std::error_code ec;
    std::filesystem::create_directories(containing_directory(path), ec);
    Error problem = ec ? Error("cannot write", containing_directory(path), ec.value())
                       : atomic_write(path, result.text, 0644, kNoSlot, Durability::kRename);
    if (problem) r.reason += "; --conflicts: " + problem.message();
}

// Writes the target's temporary file with `fill` and hands it to the record,
// to be renamed into place with its batch.
void TreeWriter::stage(const Entry& e, FileRecord file, Intent intent, FileOutcome& r,
                       const Fill& fill) {
    std::list<Staged> one(1);
    Staged& s = one.front();
    s.path = join(target_, e.target);
    s.slot = record_.take_slot();
    struct stat st;
    if (Error problem = fill(s.slot, s.temp, st, file)) {
        record_.return_slot(s.slot);
        r = failed_outcome(problem.message());
        return;
    }
    file.target_id = identity_of(st);
    intent.written_hash = file.written_hash;
    s.target_path = e.target;
    s.file = std::move(file);
    s.intent = std::move(intent);
    s.token = &e;
    if (r.action != Action::kMerged) r.action = Action::kWritten;
    record_.stage(one);
}

// What a run would make of a page edited by hand, written nowhere: its
// merge, or its conflict. Anything else keeps the outcome of --diff alone.
void TreeWriter::preview(const Entry& e, const Plan& plan, std::string_view output,
                         FileOutcome& r) {
    if (!plan.target.id || !options_.merge || options_.force) return;
    FileRecord file;
    file.written_hash = content_hash(output);
    const Held held = held_at(e, plan);
    if (held.hash == file.written_hash || held.base.empty() || held.base == held.hash) return;
    Intent intent;
    Merge merge{output, {}};
    FileOutcome probe = r;
    if (!merged(e, held, file, intent, probe, merge) || probe.status == FileStatus::kFailed) return;
    r = std::move(probe);
    if (r.action == Action::kMerged) {
        r.action = Action::kNone;  // nothing is written
        r.findings.front().message =
            "a run would merge the source's changes into the page "
            "edited by hand";
    }
    r.merge_text = std::move(merge.merged);
}

std::vector<Stale> TreeWriter::stale(const std::vector<Entry>& entries) {
    if (preview_) return {};
    std::set<std::string> produced;
    for (const Entry& e : entries)
        if (e.kind == Kind::kTemplate || e.kind == Kind::kFile) produced.insert(e.target);
    std::vector<Stale> stale;
    std::vector<std::string> gone;
    for (const auto& [target, file] : record_.files()) {
        if (produced.count(target)) continue;
        struct stat st;
        if (::lstat(join(target_, target).c_str(), &st) == 0)
            stale.push_back(
                {target, file.source, ::lstat(join(source_, file.source).c_str(), &st) == 0});
        else
            gone.push_back(target);
    }
    for (const std::string& target : gone) record_.forget(target);
    return stale;
}

}  // namespace

std::unique_ptr<Writer> dry_writer() {
    return std::make_unique<DryWriter>();
}

std::unique_ptr<Writer> tree_writer(const Options& options, const std::string& source_root,
                                    const std::string& target_root, Record& record) {
    return std::make_unique<TreeWriter>(options, source_root, target_root, record, false);
}

std::unique_ptr<Writer> preview_writer(const Options& options, const std::string& source_root,
                                       const std::string& target_root, Record& record) {
    return std::make_unique<TreeWriter>(options, source_root, target_root, record, true);
}

}  // namespace tvconv::tree
