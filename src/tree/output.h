// Writing into the target tree: every file appears whole or not at all, and
// never inside the source tree, whatever links the target tree holds.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "tree/error.h"

namespace tvconv::tree {

class TargetWriter {
  public:
    // `source_root` is resolved: nothing is written inside it.
    explicit TargetWriter(std::string source_root) : source_root_(std::move(source_root)) {}

    // Why a file may not be written at `path` (its directory lies inside the
    // source tree, or cannot be resolved); success when it may.
    Error refuse(const std::string& path);

    // Creates the directory `path` unless it is one already.
    Error make_directory(const std::string& path);

    // Replaces `path` with `data` (see atomic_write); `slot` is the caller's
    // temporary-file slot (see signals.h). No sync: see Record::save.
    Error write_file(const std::string& path, std::string_view data, mode_t mode, unsigned slot);

    // Copies the regular file `from` to `path` the same way, and sets `hash`
    // to the content hash of what it copied.
    Error copy_file(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                    std::string& hash);

  private:
    Error check_directory(const std::string& dir);

    const std::string source_root_;
    // Every file of a directory asks the same question, and resolving a path
    // costs a system call per component: the answer for a directory that
    // resolved is kept. (The directories are made before any file is
    // written into them.)
    std::mutex mutex_;
    std::unordered_map<std::string, Error> checked_;
};

}  // namespace tvconv::tree
