// The last conversion of each target page, kept beside the record so that
// a page edited by hand can be merged with a new conversion: the merge's
// base. Files are named by their content hash (content_hash.h), so equal
// conversions are stored once.
//
// A base is written (temporary file, renamed, not synced) before any
// journal line names it; the record makes it durable with the batch that
// names it (see Record::flush), and removes the bases no entry names once
// the record itself is durable.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tree/error.h"

namespace tvconv::tree {

class BaseStore {
  public:
    // The store of the record at `record_path`: the directory
    // RECORD_PATH.bases (made on the first put).
    static std::string directory_of(const std::string& record_path);

    // Uses `dir`; removes what a killed run left there. `target_device` is
    // that of the target tree: a store on the same file system is synced
    // with it.
    void open(std::string dir, dev_t target_device);
    // Uses `dir` to read from only.
    void use(std::string dir) { dir_ = std::move(dir); }
    const std::string& directory() const { return dir_; }

    // Stores `bytes`, whose content hash is `hash`, unless a file of that
    // name and size is there already. Thread-safe.
    Error put(const std::string& hash, std::string_view bytes);

    // Makes every put so far durable, when the target's sync does not.
    Error sync();

    // Removes every stored file whose name `live` refuses; returns how many.
    std::size_t collect(const std::function<bool(std::string_view hash)>& live);

  private:
    std::string dir_;
    bool own_device_ = false;  // on another file system than the target
    std::atomic<bool> made_{false};
    std::atomic<std::uint64_t> puts_{0};
    std::uint64_t synced_ = 0;
};

// Reads the base stored as `hash` in the store directory `dir` into
// `bytes`, checked against its name: a file a power cut left short is not
// a base. Fails (ENOENT when it is not there) if there is none to trust.
Error load_base(const std::string& dir, const std::string& hash, std::string& bytes);

// Whether `name` is a stored base's name: 32 lower-case hex digits.
bool is_base_name(std::string_view name);

}  // namespace tvconv::tree
