// Every byte tvconv-tree reads or writes outside its own process goes
// through here: EINTR-safe reads and writes, and one way to replace a file
// (a temporary file beside it, written, synced as asked, renamed over it,
// removed on every failure and by a second signal).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "tree/error.h"

namespace tvconv::tree {

// Reads everything the open file `fd` holds from its position on.
Error read_all(int fd, std::string& out, const std::string& path = {});
Error read_file(const std::string& path, std::string& out);
Error write_all(int fd, std::string_view data, const std::string& path = {});

// How much of a replaced file must be on disk before atomic_write returns.
enum class Durability {
    kRename,  // only the rename is atomic; a later sync makes it durable
    kSync,    // the data is synced before the rename
};

// Replaces `path` with `data` (mode `mode`). `slot` is the caller's
// temporary-file slot (see signals.h), or kNoSlot.
inline constexpr unsigned kNoSlot = ~0u;
Error atomic_write(const std::string& path, std::string_view data, mode_t mode, unsigned slot,
                   Durability durability);
// Copies the regular file `from` the same way, a piece at a time, and sets
// `hash` to the content hash of what it copied.
Error atomic_copy(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                  Durability durability, std::string& hash);

// Makes every write so far on the file system holding `path` durable.
Error sync_file_system(const std::string& path);

// Removes from the directory `dir` the temporary files a killed run left
// behind; returns how many.
std::size_t remove_leftovers(const std::string& dir);

}  // namespace tvconv::tree
