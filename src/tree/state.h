// The record of what a run wrote, so that a re-run converts only what
// changed and never overwrites a target file edited by hand.
//
// For each target file (by its path relative to TARGET) it holds the
// source's identity and content hash, a hash of everything else the
// conversion depends on, the hash of the bytes written, the target file's
// identity right after the write, and what the conversion reported. It is
// kept outside both trees, written atomically at the end of a run, and
// between two such writes every file written is appended to a journal, so
// that a run killed half-way leaves a record that claims exactly the files
// it wrote.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvconv::tree {

// A file's identity as stat gives it: what changes when the file does.
struct Identity {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtime_ns = 0;
    bool operator==(const Identity&) const = default;
};
Identity identity_of(const struct stat& st);

// A 128-bit content hash as 32 hex digits.
std::string content_hash(std::string_view bytes);

// The same hash, of bytes that come in pieces (a file too large to hold).
class ContentHasher {
  public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;
    void update(const char* data, std::size_t size);
    std::string digest() const;

  private:
    void* state_;
};

// The content hash of what the open file `fd` holds from its position on;
// empty, with `error` set, when it cannot be read.
std::string content_hash_of(int fd, int& error);

struct Finding {
    std::string code;
    std::optional<int> line;
    std::string message;  // without " (line N)"
    bool operator==(const Finding&) const = default;
};

struct FileRecord {
    std::string source;  // relative to SOURCE
    Identity source_id;
    std::string source_hash;
    std::string inputs;  // hash of the conversion's other inputs
    std::string written_hash;
    Identity target_id;
    std::vector<Finding> findings;
};

class Record {
  public:
    // The default place of the record of `target` (resolved): the user's
    // cache directory, keyed by the target's real path. Empty, with `error`
    // set, when there is no cache directory to use.
    static std::string default_path(const std::string& target, std::string& error);

    // Reads the record at `path` and its journal; a missing record is an
    // empty one. Takes the record's lock, so that two runs never write one
    // target at once. Returns an error text, empty on success.
    std::string open(const std::string& path, const std::string& source,
                     const std::string& target);

    const FileRecord* find(const std::string& target_path) const;
    const std::map<std::string, FileRecord>& files() const { return files_; }

    // Claims a file just written (or found to hold what would be written):
    // appended to the journal at once. Thread-safe. Returns an error text.
    std::string claim(const std::string& target_path, const FileRecord& file);
    // Forgets a file whose target is gone.
    void forget(const std::string& target_path);

    // Writes the whole record atomically and empties the journal. Returns
    // an error text, empty on success.
    std::string save();
    // Whether anything changed since it was read.
    bool changed() const { return changed_; }

    ~Record();

  private:
    std::string path_, source_, target_;
    std::map<std::string, FileRecord> files_;
    bool changed_ = false;
    std::mutex mutex_;
    int lock_fd_ = -1;
    int journal_fd_ = -1;
};

}  // namespace tvconv::tree
