// Every byte tvconv-tree reads or writes outside its own process goes
// through here: EINTR-safe reads and writes, and one way to replace a file
// (a temporary file beside it, written, synced as asked, renamed over it,
// removed on every failure and by a second signal).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "tree/error.h"

namespace tvconv::tree {

// Reads what the open file `fd` holds from its position on, a piece at a
// time, handing each piece to `take` (which may fail too). Failures to read
// are "cannot read" on `path`.
Error read_pieces(int fd, const std::string& path,
                  const std::function<Error(std::string_view piece)>& take);
// Reads everything the open file `fd` holds from its position on, appended
// to `out`.
Error read_all(int fd, std::string& out, const std::string& path = {});
Error read_file(const std::string& path, std::string& out);
// Failures are "cannot write" on `path`.
Error write_all(int fd, std::string_view data, const std::string& path = {});

// How much of a replaced file must be on disk before atomic_write returns.
enum class Durability {
    kRename,  // only the rename is atomic; a later sync makes it durable
    kSync,    // the data, then the rename (its directory), are synced
};

// No temporary-file slot: a signal that ends the run leaves the file.
inline constexpr unsigned kNoSlot = ~0u;
// The temporary files of the target tree are DIR/.tvconv-tree.XXXXXX.
inline constexpr std::string_view kTemporaryPrefix = ".tvconv-tree.";

// Replaces `path` with `data` (mode `mode`) through the temporary file
// DIR/<temp_prefix>XXXXXX. `slot` is the caller's temporary-file slot (see
// signals.h), or kNoSlot. Failures are "cannot write" on `path`.
Error atomic_write(const std::string& path, std::string_view data, mode_t mode, unsigned slot,
                   Durability durability, std::string_view temp_prefix = kTemporaryPrefix);
// The same, with the content written by `fill` to the open temporary file
// (the record, written a piece at a time).
Error atomic_write_with(const std::string& path, mode_t mode, unsigned slot, Durability durability,
                        std::string_view temp_prefix, const std::function<Error(int fd)>& fill);
// Copies the regular file `from` the same way, a piece at a time, and sets
// `hash` to the content hash of what it copied. A failure to read is
// "cannot read" on `from`.
Error atomic_copy(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                  Durability durability, std::string& hash);

// Creates `path`, which must not exist, holding `data` (mode `mode`), with no
// temporary file and no sync: for a file whose name is the hash of its
// content, which its reader checks (a file a crash cut short is no such
// file). Removed on failure; EEXIST when it exists already. Failures are
// "cannot write" on `path`.
Error create_file(const std::string& path, std::string_view data, mode_t mode);

// A target file written in two steps, so that a batch of them can be
// announced (see Record) before any is renamed into place: its temporary
// file DIR/.tvconv-tree.XXXXXX is written, given `mode` and closed, and `st`
// is what stat says of it (and of the file it becomes: a rename keeps the
// inode, size and mtime). It stays in `slot` until installed or discarded;
// `temp` must stay unchanged as long (signals.h). Failures remove it and are
// "cannot write" on `path`.
Error write_temporary(const std::string& path, std::string_view data, mode_t mode, unsigned slot,
                      std::string& temp, struct stat& st);
// The same for a copy of the regular file `from`; `hash` is the content hash
// of what it copied.
Error copy_temporary(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                     std::string& temp, struct stat& st, std::string& hash);
// Renames `temp` over `path` (or removes it when that fails) and releases
// `slot`.
Error install_temporary(const std::string& temp, const std::string& path, unsigned slot);
// Removes `temp` and releases `slot`.
void discard_temporary(const std::string& temp, unsigned slot);

// Writes a whole output file: "-" is standard output, a device or a pipe is
// written in place, and anything else (through links) is replaced with
// atomic_write, keeping the mode of the file it replaces, unless it is a
// file the user may write in a directory the user may not (see
// writes_in_place). Failures carry the system's reason alone.
Error write_output(const std::string& path_or_dash, std::string_view data);
// The same, for output made a piece at a time: `produce` hands each piece to
// the sink it is given and returns the sink's first failure.
using PieceSink = std::function<Error(std::string_view piece)>;
Error write_output(const std::string& path_or_dash,
                   const std::function<Error(const PieceSink& put)>& produce);

// Text appended to a buffer that goes to a sink whenever it holds a piece's
// worth, and at the end: a report is written without ever being held whole.
class PieceWriter {
  public:
    explicit PieceWriter(const PieceSink& put) : put_(put) {}
    std::string& text() { return buffer_; }
    // After each part of the output: hands the buffer on once it is large.
    void part() {
        if (buffer_.size() >= kPiece) flush();
    }
    Error finish() {
        flush();
        return error_;
    }

  private:
    static constexpr std::size_t kPiece = 1 << 16;
    void flush() {
        if (!error_ && !buffer_.empty()) error_ = put_(buffer_);
        buffer_.clear();
    }
    const PieceSink& put_;
    std::string buffer_;
    Error error_;
};

// Whether write_output writes the existing regular file `path` in place:
// atomic replacement needs to write its directory, and a report file the
// user may write but whose directory is not the user's was always written
// in place; replacing it would now fail.
bool writes_in_place(const std::string& path);

// Makes every write so far on the file system holding `path` durable.
Error sync_file_system(const std::string& path);

// Removes from the directory `dir` the temporary files a killed run left
// behind: regular files named <prefix>XXXXXX. Returns how many.
std::size_t remove_leftovers(const std::string& dir, std::string_view prefix = kTemporaryPrefix);
// Removes from the directory `dir` every regular file whose name `keep`
// refuses. Returns how many.
std::size_t remove_files_unless(const std::string& dir,
                                const std::function<bool(std::string_view name)>& keep);

}  // namespace tvconv::tree
