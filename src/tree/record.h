// The record of what a run wrote, so that a re-run converts only what
// changed and never overwrites a target file edited by hand.
//
// For each target file (by its path relative to TARGET) it holds the
// source's identity and content hash, a hash of everything else the
// conversion depends on, the hash of the bytes written, the target file's
// identity right after the write, and what the conversion reported. It is
// kept outside both trees and written at the end of a run; between two such
// writes the files written are appended to a journal in batches, so that a
// run killed half-way leaves a record that claims only files it wrote.
//
// Nothing it claims may be lost to a power cut: a batch of claims reaches
// the journal only after the target's file system is synced, and the record
// is written and synced only after one more sync. A file written but not yet
// claimed is found equal to its conversion by the next run, and recorded.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context/diagnostic.h"
#include "tree/content_hash.h"
#include "tree/error.h"

namespace tvconv::tree {

// A file's identity as stat gives it: what changes when the file does.
struct Identity {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtime_ns = 0;
    bool operator==(const Identity&) const = default;
};
Identity identity_of(const struct stat& st);

// A finding is a diagnostic whose message leaves out " (line N)" (see
// Diagnostic::at); the record keeps its code, line and message.
using Finding = Diagnostic;

struct FileRecord {
    std::string source;  // relative to SOURCE
    Identity source_id;
    std::string source_hash;
    std::string inputs;  // hash of the conversion's other inputs
    std::string written_hash;
    Identity target_id;
    std::vector<Finding> findings;
    bool operator==(const FileRecord&) const = default;
};

class Record {
  public:
    // When claims go to the journal: after `files` of them, or when one
    // comes `interval` after the first of its batch; `sync` makes the
    // target's files durable first (by default, a syncfs of the target).
    struct Batching {
        std::size_t files = 256;
        std::chrono::milliseconds interval{1000};
        std::function<Error()> sync;
    };

    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record();

    // Sets `path` to the default place of the record of `target`
    // (resolved): the user's cache directory, keyed by the target's real
    // path. Fails when there is no cache directory to use.
    static Error default_path(const std::string& target, std::string& path);

    // Reads the record at `path` and its journal; a missing record is an
    // empty one. Takes the record's lock, so that two runs never write one
    // target at once.
    Error open(const std::string& path, const std::string& source, const std::string& target);

    // Replaces the batching rule (the tests count syncs and lines).
    void set_batching(Batching batching);

    const FileRecord* find(const std::string& target_path) const;
    const std::map<std::string, FileRecord>& files() const { return files_; }

    // Claims a file just written (or found to hold what would be written):
    // kept at once, journalled with its batch. Thread-safe. Fails when the
    // batch it completes cannot be journalled.
    Error claim(const std::string& target_path, const FileRecord& file);
    // Forgets a file whose target is gone.
    void forget(const std::string& target_path);

    // Syncs the target, journals the last batch, writes the whole record
    // durably and removes the journal.
    Error save();
    // Whether anything changed since it was read.
    bool changed() const { return changed_; }

  private:
    Error read(const std::string& data);
    void replay(const std::string& journal);
    Error flush();
    Error append_to_journal(std::string lines);
    Error sync_target();

    std::string path_, source_, target_;
    std::map<std::string, FileRecord> files_;
    bool changed_ = false;
    Batching batching_;
    std::mutex mutex_;        // files_, changed_ and the batch
    std::mutex flush_mutex_;  // one batch at a time, in order
    std::string batch_;       // journal lines not yet written
    std::size_t batch_files_ = 0;
    std::chrono::steady_clock::time_point batch_started_;
    int lock_fd_ = -1;
    int journal_fd_ = -1;
};

}  // namespace tvconv::tree
