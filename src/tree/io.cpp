#include "tree/io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "tree/content_hash.h"
#include "tree/paths.h"
#include "tree/signals.h"

namespace tvconv::tree {

namespace {

constexpr std::size_t kTemporarySuffix = 6;  // mkstemp's XXXXXX

// Closes a descriptor on every path out of a function.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, for the caller to see the error close reports.
    int close() {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

Error sync_directory(const std::string& dir) {
    Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) return Error("cannot write", dir, errno);
    return {};
}

// Creates the temporary file `temp` beside `path`, held in `slot`; `fill`
// writes the content to the open descriptor; then its mode, the sync asked
// for, and `st` if given. On failure it is removed and the slot released.
template <typename Fill>
Error fill_temporary(const std::string& path, mode_t mode, unsigned slot, Durability durability,
                     std::string_view prefix, Fill fill, std::string& temp, struct stat* st) {
    temp = containing_directory(path) + "/";
    temp += prefix;
    temp += "XXXXXX";
    if (temp.size() >= PATH_MAX) return Error("cannot write", path, ENAMETOOLONG);
    Descriptor fd(::mkstemp(temp.data()));
    if (fd.get() < 0) return Error("cannot write", path, errno);
    hold_temporary(slot, temp.c_str());

    Error error = fill(fd.get());
    if (!error && ::fchmod(fd.get(), mode) != 0) error = Error("cannot write", path, errno);
    if (!error && durability == Durability::kSync && ::fsync(fd.get()) != 0)
        error = Error("cannot write", path, errno);
    if (!error && st && ::fstat(fd.get(), st) != 0) error = Error("cannot write", path, errno);
    if (fd.close() != 0 && !error) error = Error("cannot write", path, errno);
    if (error) discard_temporary(temp, slot);
    return error;
}

// Replaces `path` through a temporary file; `fill` writes the content to
// the open descriptor. The temporary file is removed on every failure.
template <typename Fill>
Error replace(const std::string& path, mode_t mode, unsigned slot, Durability durability,
              std::string_view prefix, Fill fill) {
    std::string temp;
    if (Error e = fill_temporary(path, mode, slot, durability, prefix, fill, temp, nullptr))
        return e;
    if (Error e = install_temporary(temp, path, slot)) return e;
    return durability == Durability::kSync ? sync_directory(containing_directory(path)) : Error();
}

// Fills a temporary file with a copy of `from`, hashing what it copies.
template <typename Write>
Error copy_with(const std::string& from, const std::string& path, std::string& hash, Write write) {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return Error("cannot read", from, errno);
    ContentHasher hasher;
    Error error = write([&](int fd) {
        return read_pieces(in.get(), from, [&](std::string_view piece) {
            hasher.update(piece.data(), piece.size());
            return write_all(fd, piece, path);
        });
    });
    if (!error) hash = hasher.digest();
    return error;
}

mode_t creation_mode() {
    // The mode fopen would give a new file. Reports are written after the
    // workers are done, so briefly clearing the mask races with nothing.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

Error read_pieces(int fd, const std::string& path,
                  const std::function<Error(std::string_view piece)>& take) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Error("cannot read", path, errno);
        if (n == 0) return {};
        if (Error e = take(std::string_view(buffer, std::size_t(n)))) return e;
    }
}

Error read_all(int fd, std::string& out, const std::string& path) {
    return read_pieces(fd, path, [&](std::string_view piece) {
        out += piece;
        return Error();
    });
}

Error read_file(const std::string& path, std::string& out) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return Error("cannot read", path, errno);
    struct stat st;
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode))
        out.reserve(out.size() + std::size_t(st.st_size));
    return read_all(fd.get(), out, path);
}

Error write_all(int fd, std::string_view data, const std::string& path) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Error("cannot write", path, errno);
        data.remove_prefix(std::size_t(n));
    }
    return {};
}

Error atomic_write(const std::string& path, std::string_view data, mode_t mode, unsigned slot,
                   Durability durability, std::string_view temp_prefix) {
    return replace(path, mode, slot, durability, temp_prefix,
                   [&](int fd) { return write_all(fd, data, path); });
}

Error atomic_write_with(const std::string& path, mode_t mode, unsigned slot, Durability durability,
                        std::string_view temp_prefix, const std::function<Error(int fd)>& fill) {
    return replace(path, mode, slot, durability, temp_prefix, fill);
}

Error atomic_copy(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                  Durability durability, std::string& hash) {
    return copy_with(from, path, hash, [&](const auto& fill) {
        return replace(path, mode, slot, durability, kTemporaryPrefix, fill);
    });
}

Error write_temporary(const std::string& path, std::string_view data, mode_t mode, unsigned slot,
                      std::string& temp, struct stat& st) {
    return fill_temporary(
        path, mode, slot, Durability::kRename, kTemporaryPrefix,
        [&](int fd) { return write_all(fd, data, path); }, temp, &st);
}

Error copy_temporary(const std::string& from, const std::string& path, mode_t mode, unsigned slot,
                     std::string& temp, struct stat& st, std::string& hash) {
    return copy_with(from, path, hash, [&](const auto& fill) {
        return fill_temporary(path, mode, slot, Durability::kRename, kTemporaryPrefix, fill, temp,
                              &st);
    });
}

Error install_temporary(const std::string& temp, const std::string& path, unsigned slot) {
    if (::rename(temp.c_str(), path.c_str()) == 0) {
        release_temporary(slot);
        return {};
    }
    Error error("cannot write", path, errno);
    discard_temporary(temp, slot);
    return error;
}

void discard_temporary(const std::string& temp, unsigned slot) {
    ::unlink(temp.c_str());
    release_temporary(slot);
}

bool writes_in_place(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::access(containing_directory(path).c_str(), W_OK | X_OK) != 0 &&
           ::access(path.c_str(), W_OK) == 0;
}

Error write_output(const std::string& path_or_dash, std::string_view data) {
    return write_output(path_or_dash, [&](const PieceSink& put) { return put(data); });
}

Error write_output(const std::string& path_or_dash,
                   const std::function<Error(const PieceSink& put)>& produce) {
    auto to = [&](int fd, const std::string& path) {
        return produce([&](std::string_view piece) { return write_all(fd, piece, path); });
    };
    if (path_or_dash == "-") {
        // Whatever stdio still holds for standard output goes first.
        if (std::fflush(stdout) != 0) return Error({}, "-", errno);
        Error error = to(STDOUT_FILENO, "-");
        return error ? Error({}, "-", error.errnum()) : Error();
    }
    std::string path = path_or_dash;
    struct stat st;
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // Written through the link, as opening it would.
        std::string real = real_path(path);
        if (!real.empty()) path = real;
        exists = ::stat(path.c_str(), &st) == 0;
    }
    if (exists && (!S_ISREG(st.st_mode) || writes_in_place(path))) {
        // A device or a pipe cannot be replaced, nor a file whose directory
        // the user may not write: it is written in place.
        Descriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        Error error = fd.get() < 0 ? Error({}, path, errno) : to(fd.get(), path);
        if (!error && fd.close() != 0) error = Error({}, path, errno);
        return error ? Error({}, path, error.errnum()) : Error();
    }
    mode_t mode = exists ? st.st_mode & 07777 : creation_mode();
    Error error = replace(path, mode, kNoSlot, Durability::kRename, kTemporaryPrefix,
                          [&](int fd) { return to(fd, path); });
    return error ? Error({}, path, error.errnum()) : Error();
}

Error create_file(const std::string& path, std::string_view data, mode_t mode) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) return Error("cannot write", path, errno);
    Error error = write_all(fd.get(), data, path);
    if (fd.close() != 0 && !error) error = Error("cannot write", path, errno);
    if (error) (void)::unlink(path.c_str());
    return error;
}

Error sync_file_system(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::syncfs(fd.get()) != 0) return Error("cannot sync", path, errno);
    return {};
}

std::size_t remove_leftovers(const std::string& dir, std::string_view prefix) {
    return remove_files_unless(dir, [prefix](std::string_view name) {
        return !name.starts_with(prefix) || name.size() != prefix.size() + kTemporarySuffix ||
               name.find_first_not_of(
                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                   prefix.size()) != std::string_view::npos;
    });
}

std::size_t remove_files_unless(const std::string& dir,
                                const std::function<bool(std::string_view name)>& keep) {
    std::size_t removed = 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    while (dirent* entry = ::readdir(d)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == ".." || keep(name)) continue;
        struct stat st;
        std::string path = join(dir, std::string(name));
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

}  // namespace tvconv::tree
