#include "tree/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <set>

#include "tree/content_hash.h"
#include "tree/io.h"
#include "tree/output.h"
#include "tree/paths.h"

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
               Record& record)
        : options_(options),
          source_(std::move(source_root)),
          target_(std::move(target_root)),
          record_(record),
          guard_(source_) {}

    std::size_t prepare(const std::vector<Entry>& entries) override {
        std::size_t leftovers = remove_leftovers(target_);
        for (const Entry& e : entries)
            if (e.kind == Kind::kDirectory) leftovers += remove_leftovers(join(target_, e.target));
        return leftovers;
    }

    Error make_directory(const std::string& rel) override {
        return guard_.make_directory(join(target_, rel));
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
        FileRecord file{e.path,       plan.source_id,       content_hash(source),
                        *plan.inputs, content_hash(output), {},
                        r.findings};
        Intent intent;
        if (!plan.target.id) intent.held = Intent::Held::kNoFile;
        if (plan.target.id && settled(e, plan, file, intent, r)) return;
        stage(e, std::move(file), std::move(intent), r,
              [&](unsigned slot, std::string& temp, struct stat& st, FileRecord&) {
                  return guard_.stage_file(join(target_, e.target), output, e.mode, slot, temp, st);
              });
    }

    void commit_copy(const Entry& e, const Plan& plan, FileOutcome& r, unsigned) override {
        FileRecord file{e.path, plan.source_id, {}, *plan.inputs, {}, {}, r.findings};
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
            if (settled(e, plan, file, intent, r)) return;
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

    Error finish() override { return record_.changed() ? record_.save() : Error(); }

    unsigned use_slots(unsigned first, unsigned writers) override {
        return record_.use_slots(first, writers);
    }
    void on_placed(Placed placed) override {
        record_.on_placed([placed = std::move(placed)](const void* token, const Error& error) {
            placed(*static_cast<const Entry*>(token), error);
        });
    }
    void flush() override { record_.flush_or_keep(); }

  private:
    bool settled(const Entry& e, const Plan& plan, FileRecord& file, Intent& intent,
                 FileOutcome& r);
    using Fill =
        std::function<Error(unsigned slot, std::string& temp, struct stat& st, FileRecord& file)>;
    void stage(const Entry& e, FileRecord file, Intent intent, FileOutcome& r, const Fill& fill);

    const Options& options_;
    const std::string source_, target_;
    Record& record_;
    TargetWriter guard_;
};

// A file already at the target is overwritten only when it still holds what
// this tool wrote there, or what a killed run announced it would write
// there. One that holds this very conversion is recorded whatever the record
// said (a run killed after replacing it but before journalling it leaves it
// so), and given the source's mode. Returns whether the entry is settled
// without a write; if not, `intent` says what the target holds.
bool TreeWriter::settled(const Entry& e, const Plan& plan, FileRecord& file, Intent& intent,
                         FileOutcome& r) {
    const FileRecord* known = plan.target.known;
    const Identity& id = *plan.target.id;
    const std::string target = join(target_, e.target);
    std::string held = known && known->target_id == id ? known->written_hash : hash_of_file(target);
    const Intent* announced = record_.intent(e.target);
    const bool ours =
        (known && held == known->written_hash) || (announced && announced->covers(held));
    if (held == file.written_hash) {
        file.target_id = id;
        const bool same_mode = !plan.target.mode || *plan.target.mode == (e.mode & 07777);
        if (!same_mode && ::chmod(target.c_str(), e.mode & 07777) != 0) {
            r = failed_outcome(std::string("cannot write: ") + std::strerror(errno));
            return true;
        }
        if (Error problem = record_.claim(e.target, file)) {
            r = failed_outcome(problem.message());
            return true;
        }
        r.action = known && known->source_id == plan.source_id && known->inputs == *plan.inputs &&
                           same_mode
                       ? Action::kUnchanged
                       : Action::kRecorded;
        return true;
    }
    if (ours) {
        intent.held = Intent::Held::kHash;
        intent.held_hash = held;
        return false;
    }
    if (options_.force) return false;
    r = outcome_with(FileStatus::kEdited,
                     known ? "edited by hand since the last run; not overwritten"
                           : "differs from its conversion and no record of an earlier run covers "
                             "it; not overwritten");
    r.action = Action::kKept;
    return true;
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
    r.action = Action::kWritten;
    record_.stage(one);
}

std::vector<Stale> TreeWriter::stale(const std::vector<Entry>& entries) {
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
    return std::make_unique<TreeWriter>(options, source_root, target_root, record);
}

}  // namespace tvconv::tree
