#include "tree/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>

#include "tree/content_hash.h"
#include "tree/io.h"
#include "tree/paths.h"

namespace tvconv::tree {

namespace {

constexpr std::string_view kPackPrefix = "pack-";
constexpr std::size_t kHeaderMax = 32 + 1 + 20 + 1;

Error store_error(const std::string& dir, int errnum) {
    return Error("cannot store the last conversion in " + dir, dir, errnum);
}

// A new pack file in `dir`, open for appending.
int create_pack(const std::string& dir, std::string& path) {
    path = join(dir, std::string(kPackPrefix) + "XXXXXX");
    if (path.size() >= PATH_MAX) return -1;
    int fd = ::mkstemp(path.data());
    if (fd >= 0) (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// The header "HASH SIZE\n" at the start of `h`; its length, or 0.
std::size_t parse_header(std::string_view h, std::string& hash, std::uint64_t& size) {
    const std::size_t end = h.find('\n');
    if (end == std::string_view::npos || end < 34 || h[32] != ' ') return 0;
    hash.assign(h.substr(0, 32));
    auto [p, ec] = std::from_chars(h.data() + 33, h.data() + end, size);
    if (ec != std::errc() || p != h.data() + end || !is_base_name(hash)) return 0;
    return end + 1;
}

}  // namespace

BaseStore::~BaseStore() {
    close_packs();
}

std::string BaseStore::directory_of(const std::string& record_path) {
    return record_path + ".bases";
}

void BaseStore::open(std::string dir, dev_t target_device) {
    dir_ = std::move(dir);
    struct stat st;
    // Before it is made, it would be on the file system of its parent.
    const bool made = ::stat(dir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    const std::string on = made ? dir_ : containing_directory(dir_);
    own_device_ = ::stat(on.c_str(), &st) != 0 || st.st_dev != target_device;
}

void BaseStore::close_packs() {
    for (int& fd : fds_)
        if (fd >= 0) ::close(std::exchange(fd, -1));
    if (out_ >= 0) ::close(std::exchange(out_, -1));
}

// Reads the headers of every pack (a few bytes an entry), once.
void BaseStore::index() {
    if (indexed_) return;
    indexed_ = true;
    DIR* d = ::opendir(dir_.c_str());
    if (!d) return;
    while (dirent* entry = ::readdir(d)) {
        if (!std::string_view(entry->d_name).starts_with(kPackPrefix)) continue;
        packs_.push_back(join(dir_, entry->d_name));
        fds_.push_back(::open(packs_.back().c_str(), O_RDONLY | O_CLOEXEC));
        if (fds_.back() >= 0) scan(packs_.size() - 1, fds_.back());
    }
    ::closedir(d);
}

// Indexes the entries of one pack, up to the first that is not whole.
void BaseStore::scan(std::size_t pack, int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return;
    const std::uint64_t end = std::uint64_t(st.st_size);
    char buffer[kHeaderMax];
    std::string hash;
    for (std::uint64_t at = 0; at < end;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(at));
        std::uint64_t size = 0;
        const std::size_t header = n > 0 ? parse_header({buffer, std::size_t(n)}, hash, size) : 0;
        if (header == 0 || at + header + size > end) return;
        where_.try_emplace(hash, Where{pack, at + header, size});
        at += header + size;
    }
}

Error BaseStore::put(const std::string& hash, std::string_view bytes) {
    {
        std::lock_guard lock(mutex_);
        index();
        if (!where_.count(hash))
            if (Error e = append(hash, bytes)) return e;
    }
    // Counted once done, written or found: one found may be another
    // worker's, not yet synced, and the batch naming it must sync it.
    ++puts_;
    return {};
}

// With the mutex held: appends an entry to this run's pack; one cut short
// by a failure is cut off again.
Error BaseStore::append(const std::string& hash, std::string_view bytes) {
    if (out_ < 0) {
        if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST) return store_error(dir_, errno);
        std::string path;
        out_ = create_pack(dir_, path);
        if (out_ < 0) return store_error(dir_, errno ? errno : ENAMETOOLONG);
        packs_.push_back(path);
        fds_.push_back(-1);
        out_pack_ = packs_.size() - 1;
        out_size_ = 0;
    }
    const std::string header = hash + " " + std::to_string(bytes.size()) + "\n";
    Error e = write_all(out_, header, packs_[out_pack_]);
    if (!e) e = write_all(out_, bytes, packs_[out_pack_]);
    if (e) {
        (void)::ftruncate(out_, off_t(out_size_));
        return store_error(dir_, e.errnum());
    }
    where_[hash] = Where{out_pack_, out_size_ + header.size(), bytes.size()};
    out_size_ += header.size() + bytes.size();
    return {};
}

Error BaseStore::load(const std::string& hash, std::string& bytes) {
    bytes.clear();
    std::lock_guard lock(mutex_);
    index();
    auto it = where_.find(hash);
    if (it == where_.end()) return Error("no stored last conversion", dir_, ENOENT);
    return read_at(it->second, hash, bytes);
}

// With the mutex held: the bytes of the entry at `w`, checked against `hash`.
Error BaseStore::read_at(const Where& w, const std::string& hash, std::string& bytes) {
    int& fd = fds_[w.pack];
    if (fd < 0) fd = ::open(packs_[w.pack].c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Error("cannot read", packs_[w.pack], errno);
    bytes.resize(w.size);
    for (std::uint64_t done = 0; done < w.size;) {
        const ssize_t n = ::pread(fd, bytes.data() + done, w.size - done, off_t(w.at + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            bytes.clear();
            return Error("cannot read", packs_[w.pack], n < 0 ? errno : EIO);
        }
        done += std::uint64_t(n);
    }
    if (content_hash(bytes) != hash) {
        bytes.clear();
        return Error("the stored last conversion is damaged", packs_[w.pack], EIO);
    }
    return {};
}

Error BaseStore::close_pack() {
    std::lock_guard lock(mutex_);
    if (out_ < 0) return {};
    const int fd = std::exchange(out_, -1);
    if (::close(fd) != 0) return store_error(dir_, errno);
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
    std::lock_guard lock(mutex_);
    index();
    std::uint64_t live_bytes = 0, dead_bytes = 0;
    std::size_t dead = 0;
    for (const auto& [hash, w] : where_) {
        const bool keep = live(hash);
        (keep ? live_bytes : dead_bytes) += w.size;
        dead += !keep;
    }
    if (dead == 0 || (live_bytes > 0 && dead_bytes <= live_bytes)) return 0;
    if (rewrite(live)) return 0;
    return dead;
}

// With the mutex held: one new pack of the live bases, synced, and then
// the old packs removed. Killed in between, both are read, and the
// duplicates are one base.
Error BaseStore::rewrite(const std::function<bool(std::string_view hash)>& live) {
    std::vector<std::string> old = packs_;
    std::unordered_map<std::string, Where> where = where_;
    if (out_ >= 0) ::close(std::exchange(out_, -1));
    std::string bytes;
    for (const auto& [hash, w] : where) {
        if (!live(hash)) continue;
        Error e = read_at(w, hash, bytes);
        if (!e) e = append(hash, bytes);
        if (e) return e;
    }
    if (out_ >= 0 && ::fsync(out_) != 0) return store_error(dir_, errno);
    const std::string kept = out_ >= 0 ? packs_[out_pack_] : std::string();
    close_packs();
    for (const std::string& path : old)
        if (path != kept) (void)::unlink(path.c_str());
    packs_.clear();
    fds_.clear();
    where_.clear();
    indexed_ = false;
    return {};
}

bool is_base_name(std::string_view name) {
    return name.size() == 32 &&
           name.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

Error load_base(const std::string& dir, const std::string& hash, std::string& bytes) {
    BaseStore store;
    store.use(dir);
    return store.load(hash, bytes);
}

}  // namespace tvconv::tree
