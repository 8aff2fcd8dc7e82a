// The walk over the source tree: what every entry is and where it goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tree/error.h"
#include "tree/options.h"
#include "tree/paths.h"

namespace tvconv::tree {

enum class Kind {
    kDirectory,
    kTemplate,  // converted
    kFile,      // copied
    kSkipped,   // never read: a link out of the tree, a device, a pipe...
    kExcluded,  // left out by --exclude or as a version-control folder
};

struct Entry {
    std::string path;    // relative to the source root, '/'-separated
    std::string target;  // relative to the target root
    Kind kind = Kind::kFile;
    mode_t mode = 0644;  // permission bits of the source file
    // A skipped entry whose name is a template's: a page the site will miss.
    bool template_name = false;
    bool directory = false;  // an excluded entry that is a directory
    // Set when the entry cannot be processed at all (an unreadable directory,
    // two sources for one target name) or, for kSkipped and kExcluded, why
    // it is left out.
    std::string problem;
};

// Lists `root` (already resolved) depth first, names sorted bytewise in each
// directory, the root itself not included. Symbolic links are followed only
// to regular files inside `root`. Excluded directories are listed but not
// entered. Fails when `root` itself cannot be listed.
Error walk(const std::string& root, const Options& options, std::vector<Entry>& entries);

// Why `path` (relative to the source root, with its last component `name`)
// is excluded, or an empty text. A pattern with no slash is also matched
// against the name alone, so "*.bak" leaves out backups at any depth.
std::string exclusion(const std::string& path, const std::string& name,
                      const std::vector<std::string>& patterns);

}  // namespace tvconv::tree
