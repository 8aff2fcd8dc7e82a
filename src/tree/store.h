// The last conversion of each target page, kept beside the record so that
// a page edited by hand can be merged with a new conversion: the merge's
// base. Each is stored once, by its content hash (content_hash.h), in pack
// files: a run appends what it stores to one pack of its own, so that a
// site's worth of pages costs one file, not one each.
//
// A pack is a sequence of entries, each a line "HASH SIZE" and SIZE bytes.
// A base is appended (not synced) before any journal line names it; the
// record makes it durable with the batch that names it (see Record::flush).
// An entry cut short by a crash ends its pack's reading, and every base is
// checked against its hash when read. Once the record is durable, the packs
// are rewritten with only the bases it names when the others take more room
// than these.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tree/error.h"

namespace tvconv::tree {

class BaseStore {
  public:
    BaseStore() = default;
    BaseStore(const BaseStore&) = delete;
    BaseStore& operator=(const BaseStore&) = delete;
    ~BaseStore();

    // The store of the record at `record_path`: the directory
    // RECORD_PATH.bases (made on the first put).
    static std::string directory_of(const std::string& record_path);

    // Uses `dir`. `target_device` is that of the target tree: a store on the
    // same file system is synced with it.
    void open(std::string dir, dev_t target_device);
    // Uses `dir` to read from only.
    void use(std::string dir) { dir_ = std::move(dir); }
    const std::string& directory() const { return dir_; }

    // Stores `bytes`, whose content hash is `hash`, unless it is stored
    // already. Thread-safe.
    Error put(const std::string& hash, std::string_view bytes);
    // Reads the base `hash` into `bytes`, checked against its hash. Fails
    // (ENOENT when there is none) if there is none to trust.
    Error load(const std::string& hash, std::string& bytes);

    // Closes this run's pack, once nothing more is stored.
    Error close_pack();
    // Makes every put so far durable, when the target's sync does not.
    Error sync();

    // Drops the bases `live` refuses, rewriting the packs when they take
    // more room than the live ones; returns how many bases were dropped.
    std::size_t collect(const std::function<bool(std::string_view hash)>& live);

  private:
    struct Where {
        std::size_t pack;
        std::uint64_t at, size;  // of the bytes, in the pack
    };
    void index();  // with the mutex held
    void scan(std::size_t pack, int fd);
    Error append(const std::string& hash, std::string_view bytes);
    Error read_at(const Where& w, const std::string& hash, std::string& bytes);
    Error rewrite(const std::function<bool(std::string_view hash)>& live);
    void close_packs();

    std::string dir_;
    bool own_device_ = false;  // on another file system than the target
    std::mutex mutex_;         // everything below
    bool indexed_ = false;
    std::vector<std::string> packs_;  // paths
    std::vector<int> fds_;            // open for reading, or -1
    std::unordered_map<std::string, Where> where_;
    int out_ = -1;  // this run's pack, open for appending
    std::size_t out_pack_ = 0;
    std::uint64_t out_size_ = 0;
    std::atomic<std::uint64_t> puts_{0};
    std::uint64_t synced_ = 0;
};

// Reads the base stored as `hash` in the store directory `dir` into `bytes`
// (see BaseStore::load).
Error load_base(const std::string& dir, const std::string& hash, std::string& bytes);

// Whether `name` is a stored base's name: 32 lower-case hex digits.
bool is_base_name(std::string_view name);

}  // namespace tvconv::tree
