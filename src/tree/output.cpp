#include "tree/output.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "tree/walk.h"

namespace tvconv::tree {

namespace {

std::string g_source_root;

// One temporary file name per concurrent writer, readable from a signal
// handler: fixed storage, published by the flag after the name is complete.
struct Slot {
    std::atomic<bool> active{false};
    char path[PATH_MAX];
};
Slot* g_slots = nullptr;
unsigned g_slot_count = 0;
volatile std::sig_atomic_t g_interrupted = 0;

constexpr std::string_view kTemporaryPrefix = ".tvconv-tree.";
constexpr std::size_t kTemporarySuffix = 6;  // mkstemp's XXXXXX

extern "C" void on_signal(int sig) {
    if (!g_interrupted) {
        g_interrupted = 1;
        return;
    }
    for (unsigned i = 0; i < g_slot_count; ++i)
        if (g_slots[i].active.load()) ::unlink(g_slots[i].path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

std::string error_text(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

std::string parent_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Resolves the directory a file is about to be written into and refuses one
// inside the source tree (a target that contains the source, or a link in
// the target tree that leads back into it).
std::string resolve_and_check(const std::string& dir) {
    char* real = ::realpath(dir.c_str(), nullptr);
    if (!real) return error_text("cannot write", errno);
    bool inside = is_within(real, g_source_root);
    std::free(real);
    return inside ? "refused to write inside the source tree" : "";
}

// Every file of a directory asks the same question, and resolving a path
// costs a system call per component: the answer for a directory that
// resolved is kept. (The directories were made before any file is written.)
std::mutex g_checked_mutex;
std::unordered_map<std::string, std::string> g_checked;

std::string check_directory(const std::string& dir) {
    {
        std::lock_guard lock(g_checked_mutex);
        if (auto it = g_checked.find(dir); it != g_checked.end()) return it->second;
    }
    std::string answer = resolve_and_check(dir);
    if (answer.empty() || answer == "refused to write inside the source tree") {
        std::lock_guard lock(g_checked_mutex);
        g_checked.emplace(dir, answer);
    }
    return answer;
}

// Writes through a temporary file; `fill` writes the content to the open
// descriptor and returns an error text.
template <typename Fill>
std::string write_atomically(const std::string& path, mode_t mode, unsigned slot, Fill fill) {
    std::string dir = parent_of(path);
    if (std::string problem = check_directory(dir); !problem.empty()) return problem;

    std::string temp = dir + "/" + std::string(kTemporaryPrefix) + "XXXXXX";
    if (temp.size() >= PATH_MAX) return error_text("cannot write", ENAMETOOLONG);
    Slot* s = slot < g_slot_count ? &g_slots[slot] : nullptr;
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return error_text("cannot write", errno);
    if (s) {
        std::memcpy(s->path, temp.c_str(), temp.size() + 1);
        s->active.store(true);
    }

    std::string problem = fill(fd);
    if (problem.empty() && ::fchmod(fd, mode) != 0) problem = error_text("cannot write", errno);
    if (::close(fd) != 0 && problem.empty()) problem = error_text("cannot write", errno);
    if (problem.empty() && ::rename(temp.c_str(), path.c_str()) != 0)
        problem = error_text("cannot write", errno);
    if (!problem.empty()) ::unlink(temp.c_str());
    if (s) s->active.store(false);
    return problem;
}

std::string write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return error_text("cannot write", errno);
        data += n;
        size -= std::size_t(n);
    }
    return {};
}

}  // namespace

std::string refuse_to_write(const std::string& path) {
    return check_directory(parent_of(path));
}

void guard_source(const std::string& source_root) {
    std::lock_guard lock(g_checked_mutex);
    g_checked.clear();
    g_source_root = source_root;
}

std::string make_directory(const std::string& path) {
    if (std::string problem = check_directory(parent_of(path)); !problem.empty()) return problem;
    if (::mkdir(path.c_str(), 0777) == 0) return {};
    int error = errno;
    struct stat st;
    if (error == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
    return error_text("cannot create directory", error == EEXIST ? ENOTDIR : error);
}

std::string write_file(const std::string& path, std::string_view data, mode_t mode, unsigned slot) {
    return write_atomically(path, mode, slot,
                            [&](int fd) { return write_all(fd, data.data(), data.size()); });
}

std::string copy_file(const std::string& from, const std::string& path, mode_t mode,
                      unsigned slot) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return error_text("cannot read", errno);
    std::string problem = write_atomically(path, mode, slot, [&](int fd) -> std::string {
        char buffer[65536];
        for (;;) {
            ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return error_text("cannot read", errno);
            if (n == 0) return {};
            if (std::string problem = write_all(fd, buffer, std::size_t(n)); !problem.empty())
                return problem;
        }
    });
    ::close(in);
    return problem;
}

void install_cleanup(unsigned slots) {
    // One array for the whole process, which a handler may read until it
    // ends; a later run (the tests make several) that needs more slots swaps
    // in a larger one with the handled signals blocked, then frees the old.
    if (slots > g_slot_count) {
        Slot* grown = new Slot[slots];
        sigset_t handled, previous;
        sigemptyset(&handled);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&handled, sig);
        ::pthread_sigmask(SIG_BLOCK, &handled, &previous);
        Slot* old = g_slots;
        g_slots = grown;
        g_slot_count = slots;
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        delete[] old;
    }
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

bool interrupted() {
    return g_interrupted != 0;
}

std::size_t remove_leftovers(const std::string& dir) {
    std::size_t removed = 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    while (dirent* entry = ::readdir(d)) {
        std::string_view name = entry->d_name;
        if (!name.starts_with(kTemporaryPrefix) ||
            name.size() != kTemporaryPrefix.size() + kTemporarySuffix)
            continue;
        struct stat st;
        std::string path = dir + "/" + std::string(name);
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

}  // namespace tvconv::tree
