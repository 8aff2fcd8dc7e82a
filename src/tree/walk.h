// The walk over the source tree: what every entry is and where it goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tree/options.h"

namespace tvconv::tree {

enum class Kind {
    kDirectory,
    kTemplate,  // converted
    kFile,      // copied
    kSkipped,   // never read: a link out of the tree, a device, a pipe...
};

struct Entry {
    std::string path;    // relative to the source root, '/'-separated
    std::string target;  // relative to the target root
    Kind kind = Kind::kFile;
    mode_t mode = 0644;  // permission bits of the source file
    // Set when the entry cannot be processed at all (an unreadable directory,
    // two sources for one target name) or, for kSkipped, why it is skipped.
    std::string problem;
};

// Lists `root` (already resolved) depth first, names sorted bytewise in each
// directory, the root itself not included. Symbolic links are followed only
// to regular files inside `root`. Sets `problem` when `root` itself cannot be
// listed.
std::vector<Entry> walk(const std::string& root, const Options& options, std::string& problem);

// Whether `path` is `dir` or lies beneath it (both absolute and resolved).
bool is_within(const std::string& path, const std::string& dir);

}  // namespace tvconv::tree
