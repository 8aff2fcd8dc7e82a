// Writing into the target tree: every file appears whole or not at all.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace tvconv::tree {

// Refuses to write anywhere inside `source_root` (resolved), whatever links
// the target tree holds. Set once before any write.
void guard_source(const std::string& source_root);

// Why a file may not be written at `path` (its directory lies inside the
// source tree, or cannot be resolved), or an empty text.
std::string refuse_to_write(const std::string& path);

// Creates the directory `path` unless it is one already. Returns an error
// text, empty on success.
std::string make_directory(const std::string& path);

// Writes `data` to `path` through a temporary file in the same directory
// that is renamed over `path` once complete; `slot` is the caller's temporary
// file slot (see install_cleanup). Returns an error text, empty on success.
std::string write_file(const std::string& path, std::string_view data, mode_t mode, unsigned slot);

// Copies the regular file `from` to `path` the same way, byte for byte, a
// piece at a time, and sets `hash` to the content hash of what it copied.
std::string copy_file(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                      std::string& hash);

// Makes room for `slots` writers at once. A first SIGINT, SIGTERM or SIGHUP
// asks the run to stop (see interrupted()): files being written are
// finished, no other is begun. A second one removes the unfinished
// temporary files and ends the process at once.
void install_cleanup(unsigned slots);

// Whether a stop was asked for since install_cleanup.
bool interrupted();

// Removes from the directory `dir` the temporary files that a run killed
// while writing left behind. Returns how many it removed.
std::size_t remove_leftovers(const std::string& dir);

}  // namespace tvconv::tree
