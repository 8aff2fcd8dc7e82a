// The three-way merge of a hand-edited target page with a new conversion:
// the edits made since the last conversion (base -> ours) and the changes
// the source brought (base -> theirs) are combined line by line, as
// `git merge-file` combines them (libgit2's copy of git's xdiff merge).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tree/error.h"

namespace tvconv::tree {

// One region changed on both sides in different ways.
struct ConflictHunk {
    std::size_t line = 0;  // of its "<<<<<<<" marker in the merge with markers
    std::string base, ours, theirs;
    bool base_known = true;  // false when the base's lines could not be told apart
    bool operator==(const ConflictHunk&) const = default;
};

// The names written after the conflict markers.
struct MergeLabels {
    std::string ours, base, theirs;
};

struct MergeResult {
    bool clean = false;
    // The merged text; with conflict markers (git merge-file's default
    // style) when not clean.
    std::string text;
    std::vector<ConflictHunk> conflicts;  // empty when clean
};

// Merges `ours` and `theirs`, both descended from `base`. Fails only when
// the merge itself cannot be made (memory).
Error merge_text(std::string_view base, std::string_view ours, std::string_view theirs,
                 const MergeLabels& labels, MergeResult& result);

// The labels of a target page's merge: the target as it is, its last
// conversion and its new conversion.
MergeLabels merge_labels(const std::string& target_path);

}  // namespace tvconv::tree
