// The first step of the pipeline (walk -> plan -> convert -> commit ->
// report): what happens to one entry, decided from the walk, stat and the
// record alone, before any byte of the file is read.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

#include "tree/outcome.h"
#include "tree/record.h"
#include "tree/walk.h"

namespace tvconv::tree {

// An open source file, closed when the plan is done with.
class SourceFile {
  public:
    SourceFile() = default;
    explicit SourceFile(int fd) : fd_(fd) {}
    SourceFile(SourceFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    SourceFile& operator=(SourceFile&& other) noexcept;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile() { reset(); }
    int fd() const { return fd_; }
    void reset();

  private:
    int fd_ = -1;
};

// What the target tree and the record hold for one target file. Empty when
// the run writes nothing (--check, --diff).
struct TargetState {
    const FileRecord* known = nullptr;  // the record's entry for it
    std::optional<Identity> id;         // the file there now, if there is one
    std::optional<mode_t> mode;         // its permission bits, if known
};

enum class Step {
    kFinal,      // nothing to read: the outcome is decided (left out, failed)
    kUnchanged,  // source and target are as the last run left them
    kConvert,    // a template to convert
    kCopy,       // a file to copy
};

struct Plan {
    Step step = Step::kFinal;
    FileOutcome outcome;  // kFinal's whole outcome
    SourceFile source;    // open, for every other step
    Identity source_id;
    const std::string* inputs = nullptr;  // the hash of the conversion's other inputs
    TargetState target;
};

class Writer;

// What every plan depends on beyond its entry.
struct PlanContext {
    const std::string& source_root;
    bool copy;   // false with --no-copy
    bool force;  // --force: hand edits the record kept are overwritten too
    const std::string& template_inputs;
    const std::string& copy_inputs;
};

// Plans `e`, asking `writer` what lies at its target.
Plan plan_entry(const Entry& e, const PlanContext& context, Writer& writer);

// The status of a converted template with these findings.
FileStatus converted_status(const std::vector<Finding>& findings);

FileOutcome outcome_with(FileStatus status, std::string reason);
inline FileOutcome failed_outcome(std::string reason) {
    return outcome_with(FileStatus::kFailed, std::move(reason));
}

}  // namespace tvconv::tree
