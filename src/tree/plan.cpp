#include "tree/plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tree/paths.h"
#include "tree/writer.h"

namespace tvconv::tree {

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void SourceFile::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

FileOutcome outcome_with(FileStatus status, std::string reason) {
    FileOutcome r;
    r.status = status;
    r.reason = std::move(reason);
    return r;
}

FileStatus converted_status(const std::vector<Finding>& findings) {
    for (const Finding& f : findings)
        if (severity_of(f) != Severity::note) return FileStatus::kManual;
    return FileStatus::kConverted;
}

namespace {

Plan final_plan(FileOutcome outcome) {
    Plan plan;
    plan.outcome = std::move(outcome);
    return plan;
}

Plan cannot_read(int error) {
    return final_plan(failed_outcome(std::string("cannot read: ") + std::strerror(error)));
}

// Whether the last run left both sides as they are now (a source whose mode
// changed is not: its target takes the new mode).
bool unchanged(const Entry& e, const Plan& plan, bool force) {
    const FileRecord* known = plan.target.known;
    // A page kept or merged with hand edits holds other bytes than its
    // conversion, which --force puts back.
    if (force && known && !known->base_hash.empty() && known->base_hash != known->written_hash)
        return false;
    return known && known->source == e.path && known->source_id == plan.source_id &&
           known->inputs == *plan.inputs && plan.target.id && known->target_id == *plan.target.id &&
           (!plan.target.mode || *plan.target.mode == (e.mode & 07777));
}

}  // namespace

Plan plan_entry(const Entry& e, const PlanContext& context, Writer& writer) {
    if (e.kind == Kind::kSkipped) return final_plan(outcome_with(FileStatus::kSkipped, e.problem));
    if (e.kind == Kind::kExcluded)
        return final_plan(outcome_with(FileStatus::kExcluded, e.problem));
    if (!e.problem.empty()) return final_plan(failed_outcome(e.problem));
    if (e.kind == Kind::kFile && !context.copy)
        return final_plan(outcome_with(FileStatus::kNotCopied, ""));

    Plan plan;
    plan.source =
        SourceFile(::open(join(context.source_root, e.path).c_str(), O_RDONLY | O_CLOEXEC));
    if (plan.source.fd() < 0) return cannot_read(errno);
    struct stat st;
    if (::fstat(plan.source.fd(), &st) != 0) return cannot_read(errno);
    plan.source_id = identity_of(st);
    const bool is_template = e.kind == Kind::kTemplate;
    plan.inputs = is_template ? &context.template_inputs : &context.copy_inputs;
    if (Error refused = writer.inspect(e.target, plan.target))
        return final_plan(failed_outcome(refused.message()));
    plan.step = unchanged(e, plan, context.force) ? Step::kUnchanged
                : is_template                     ? Step::kConvert
                                                  : Step::kCopy;
    return plan;
}

}  // namespace tvconv::tree
