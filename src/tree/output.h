// Writing into the target tree: every file appears whole or not at all, and
// never inside the source tree, whatever links the target tree holds.
#pragma once

#include <sys/stat.h>
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

    // Writes `data` to a temporary file for `path` (see write_temporary),
    // held in `slot` (see signals.h) until the record renames it into place
    // with its batch. No sync: see Record.
    Error stage_file(const std::string& path, std::string_view data, mode_t mode, unsigned slot,
                     std::string& temp, struct stat& st);

    // Copies the regular file `from` the same way, and sets `hash` to the
    // content hash of what it copied.
    Error stage_copy(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                     std::string& temp, struct stat& st, std::string& hash);

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
