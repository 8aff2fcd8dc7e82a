// The record of what a run wrote, so that a re-run converts only what
// changed and never overwrites a target file edited by hand.
//
// For each target file (by its path relative to TARGET) it holds the
// source's identity and content hash, a hash of everything else the
// conversion depends on, the hash of the bytes written, the target file's
// identity right after the write, and what the conversion reported. It is
// kept outside both trees and written at the end of a run; between two such
// writes a journal beside it takes each batch of files (256, or a second's
// worth) in two steps, so that a run killed at any moment leaves every file
// either claimed or announced:
//
//  - the batch's files are written to temporary files; the target's file
//    system is synced (this also makes the claims below true); one line per
//    file announces its intent (the hash it will hold and the hash it held),
//    together with the claims of the batch before, and the journal is
//    synced once; then the batch's temporary files are renamed into place;
//  - their claims (with the identities of the files) go to the journal with
//    the next batch, or at the end, after the next sync.
//
// So no claim is ever lost to a power cut, nor names bytes not on disk, and
// a file renamed but not yet claimed is covered by its intent: the next run
// takes it for its own (not a hand edit) when it holds the intended bytes,
// the bytes it held, or nothing at all (a new file the power cut emptied).
// At worst, it is converted again. The record is written and synced only
// after one more sync of the target, and keeps the intents no later claim
// has resolved.
//
// A page's last conversion (its base for a merge, store.h) is stored before
// its file is staged or claimed, and synced with the target (or on its own
// when the store lies on another file system) before the journal names it.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "context/diagnostic.h"
#include "tree/content_hash.h"
#include "tree/error.h"
#include "tree/io.h"
#include "tree/store.h"

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
    // The stored last conversion (see store.h): written_hash for a page
    // written as converted, the conversion merged in for a merged page;
    // empty when none is stored (a copy, an older record).
    std::string base_hash;
    // After a merge that conflicted (written_hash is then the page as the
    // hand edits left it): the new conversion, the base once the page is
    // resolved.
    std::string conflict_base;
    bool operator==(const FileRecord&) const = default;
};

// What a run announced it would write at a target, before renaming it
// there: the bytes it would hold, and what it held (the tool's own bytes,
// or no file at all); a file it held that was not the tool's is not named.
struct Intent {
    std::string written_hash;
    enum class Held { kHash, kNoFile, kNotOurs } held = Held::kNotOurs;
    std::string held_hash;  // with kHash
    // The last conversions of the bytes it would hold and of those it held
    // (see FileRecord::base_hash); empty when they are those bytes.
    std::string base_hash, held_base;
    // Whether a target that holds `hash` now was left by that run.
    bool covers(const std::string& hash) const;
    // The last conversion of `hash`, which it covers: `hash` itself unless
    // that run wrote or found a merged page.
    std::string base_of(const std::string& hash) const;
    bool operator==(const Intent&) const = default;
};

// A target file written to its temporary file, waiting for its batch.
struct Staged {
    std::string target_path;  // relative to TARGET
    std::string path;         // where it goes
    std::string temp;         // the temporary file (held in `slot`)
    unsigned slot = kNoSlot;
    FileRecord file;  // its claim once in place
    Intent intent;
    const void* token = nullptr;  // handed back when it is placed
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

    // The same without the lock, for a run that writes nothing (--diff):
    // such a record is only read, and never claimed in nor saved.
    Error open_read_only(const std::string& path, const std::string& source,
                         const std::string& target);

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

    // Stores the conversion `bytes` (content hash `hash`) as a base, before
    // anything that names it is claimed or staged. Thread-safe.
    Error put_base(const std::string& hash, std::string_view bytes) {
        return store_.put(hash, bytes);
    }
    // The stored base `hash` (a FileRecord's base_hash), checked.
    Error load_base(const std::string& hash, std::string& bytes) const {
        return tree::load_base(store_.directory(), hash, bytes);
    }
    const std::string& store_directory() const { return store_.directory(); }

    // The intent a killed run left for a target that no later claim
    // resolved, if any.
    const Intent* intent(const std::string& target_path) const;

    // Slots `first`.. of the signal handler (signals.h) hold the temporary
    // files of staged targets; `writers` may fill one at once. Returns how
    // many slots it takes.
    unsigned use_slots(unsigned first, unsigned writers);
    // A free one of them for a temporary file, flushing the batch if none
    // is free; kNoSlot if there is none even then.
    unsigned take_slot();
    // Gives back a slot taken but not staged.
    void return_slot(unsigned slot);
    // What is called for each staged file once its batch is done: success
    // when it is in place and claimed. From any thread, perhaps before
    // stage returns.
    using Placed = std::function<void(const void* token, const Error& error)>;
    void on_placed(Placed placed);
    // Hands over a written temporary file (the one element of `one`) to be
    // renamed into place with its batch. Thread-safe.
    void stage(std::list<Staged>& one);
    // Announces and places the files staged so far, and journals the
    // claims that wait for it.
    Error flush();
    // The same, where no caller would see a failure that no staged file
    // hears of: save reports it.
    void flush_or_keep();

    // Syncs the target, journals the last batch, writes the whole record
    // durably, removes the journal and the bases no entry names.
    Error save();
    // Whether anything changed since it was read.
    bool changed() const { return changed_; }

  private:
    // Where a claim's line lies in the journal, for save to copy.
    struct Span {
        std::uint64_t at = 0;
        std::uint32_t size = 0;
    };
    struct Line {
        const FileRecord* file;
        std::size_t at;  // in the batch
        std::uint32_t size;
    };

    Error take_lock(const std::string& lock);
    Error load();
    Error read(const std::string& data);
    void replay(const std::string& journal);
    Error append_to_journal(std::string lines, std::uint64_t& at);
    void note_spans(const std::vector<Line>& spans, std::uint64_t at);
    Error sync_target();
    void add_claim(const std::string& target_path, FileRecord file, const std::string& line);
    bool batch_due();
    void place(Staged& s, const Error& failed);
    Error write_record(int fd);
    void collect_bases();

    std::string path_, source_, target_;
    BaseStore store_;
    std::map<std::string, FileRecord> files_;
    std::map<std::string, Intent> intents_;  // unresolved, from earlier runs
    // The claims this run journalled: save copies their lines.
    std::unordered_map<const FileRecord*, Span> journalled_;
    bool changed_ = false;
    Batching batching_;
    mutable std::mutex mutex_;  // everything below, files_, intents_ and changed_
    std::mutex flush_mutex_;    // one batch at a time, in order
    std::string batch_;         // claims waiting for the next sync
    std::vector<Line> batch_lines_;
    std::list<Staged> staged_;  // files waiting for their intents
    std::size_t batch_files_ = 0;
    std::chrono::steady_clock::time_point batch_started_;
    std::vector<unsigned> free_slots_;
    bool slotted_ = false;
    Placed placed_;
    Error unreported_;
    std::string lock_path_;  // when the lock is held
    int lock_fd_ = -1;
    int journal_fd_ = -1;
};

}  // namespace tvconv::tree
