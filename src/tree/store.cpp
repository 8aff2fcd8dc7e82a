#include "tree/store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tree/content_hash.h"
#include "tree/io.h"
#include "tree/paths.h"

namespace tvconv::tree {

std::string BaseStore::directory_of(const std::string& record_path) {
    return record_path + ".bases";
}

void BaseStore::open(std::string dir, dev_t target_device) {
    dir_ = std::move(dir);
    struct stat st;
    made_ = ::stat(dir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    // Before it is made, it would be on the file system of its parent.
    const std::string on = made_ ? dir_ : containing_directory(dir_);
    own_device_ = ::stat(on.c_str(), &st) != 0 || st.st_dev != target_device;
    if (made_) (void)remove_leftovers(dir_);
}

Error BaseStore::put(const std::string& hash, std::string_view bytes) {
    const std::string path = join(dir_, hash);
    if (!made_) {
        if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST)
            return Error("cannot store the last conversion in " + dir_, dir_, errno);
        made_ = true;
    }
    // Straight to its name: no temporary file, no rename. One that is there
    // already holds these bytes, unless a crash cut it short (found by its
    // size here, by its hash when read) and it is replaced.
    Error e = create_file(path, bytes, 0600);
    struct stat st;
    if (e && e.errnum() == EEXIST &&
        !(::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          std::uint64_t(st.st_size) == bytes.size()))
        e = atomic_write(path, bytes, 0600, kNoSlot, Durability::kRename);
    else if (e && e.errnum() == EEXIST)
        e = {};
    if (e) return Error("cannot store the last conversion in " + dir_, dir_, e.errnum());
    // Counted once done, written or found: one found may be another
    // worker's, not yet synced, and the batch naming it must sync it.
    ++puts_;
    return {};
}

Error BaseStore::sync() {
    const std::uint64_t puts = puts_;
    if (!own_device_ || puts == synced_) return {};
    if (Error e = sync_file_system(dir_))
        return Error("cannot sync the store of last conversions", dir_, e.errnum());
    synced_ = puts;
    return {};
}

std::size_t BaseStore::collect(const std::function<bool(std::string_view hash)>& live) {
    if (!made_) return 0;
    return remove_files_unless(
        dir_, [&](std::string_view name) { return !is_base_name(name) || live(name); });
}

bool is_base_name(std::string_view name) {
    return name.size() == 32 &&
           name.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

Error load_base(const std::string& dir, const std::string& hash, std::string& bytes) {
    bytes.clear();
    if (!is_base_name(hash)) return Error("no stored last conversion", dir, ENOENT);
    const std::string path = join(dir, hash);
    if (Error e = read_file(path, bytes)) return e;
    if (content_hash(bytes) != hash) {
        bytes.clear();
        return Error("the stored last conversion is damaged", path, EIO);
    }
    return {};
}

}  // namespace tvconv::tree
