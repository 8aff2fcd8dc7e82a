// The commit step of the pipeline. Every write into the target tree and
// every claim in the record goes through a Writer: the tree writer writes
// atomically and records what it wrote; --check and --diff use one that
// writes nothing and knows of no target, so that the steps before it never
// ask which mode they run in.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/error.h"
#include "tree/model.h"
#include "tree/options.h"
#include "tree/plan.h"
#include "tree/record.h"

namespace tvconv::tree {

class Writer {
  public:
    virtual ~Writer() = default;

    // Before anything is written: clears what a killed run left in the
    // target directories of `entries`; returns how many files it removed.
    virtual std::size_t prepare(const std::vector<Entry>& entries) = 0;
    // Makes the target directory `rel` (relative to TARGET).
    virtual Error make_directory(const std::string& rel) = 0;
    // What lies at the target `rel`; fails when it may not be written.
    virtual Error inspect(const std::string& rel, TargetState& state) = 0;
    // Writes the conversion `output` of `source` (or finds it there
    // already, or keeps a file edited by hand), and records it; `r` says
    // what was done. `slot` is the worker's temporary-file slot. A file
    // written (r.action is Action::kWritten) is put in place with its batch:
    // see on_placed.
    virtual void commit_template(const Entry& e, const Plan& plan, std::string_view source,
                                 std::string_view output, FileOutcome& r, unsigned slot) = 0;
    // The same for a file to copy.
    virtual void commit_copy(const Entry& e, const Plan& plan, FileOutcome& r, unsigned slot) = 0;
    // After the run: the targets the record holds that `entries` do not
    // produce (record entries whose targets are gone too are forgotten).
    virtual std::vector<Stale> stale(const std::vector<Entry>& entries) = 0;
    // Makes what was recorded durable.
    virtual Error finish() = 0;

    // Slots `first`.. of the signal handler hold the files waiting for their
    // batch, `writers` of which may be written at once; returns how many.
    virtual unsigned use_slots(unsigned /*first*/, unsigned /*writers*/) { return 0; }
    // Called once for each entry whose commit left r.action at kWritten, when
    // its file is in place, or with why it is not; from any thread, perhaps
    // before the commit returns.
    using Placed = std::function<void(const Entry& e, const Error& error)>;
    virtual void on_placed(Placed /*placed*/) {}
    // Puts in place every file still waiting for its batch: each worker
    // calls it when it has no more to do.
    virtual void flush() {}
};

// For --check and --diff: nothing is written, nothing is recorded.
std::unique_ptr<Writer> dry_writer();

// For --diff with a record of `target_root`: writes nothing, but gives each
// page edited by hand the merge a run would make (FileOutcome::merge_text,
// and a conflict's outcome).
std::unique_ptr<Writer> preview_writer(const Options& options, const std::string& source_root,
                                       const std::string& target_root, Record& record);

// Writes under `target_root` (resolved, and made), never inside
// `source_root`, and claims every file in `record` (open).
std::unique_ptr<Writer> tree_writer(const Options& options, const std::string& source_root,
                                    const std::string& target_root, Record& record);

}  // namespace tvconv::tree
