/* An LD_PRELOAD library that makes one chosen call fail, or kills the
 * process at it, so that a test can show what tvconv-tree leaves behind
 * when any single write, rename, directory creation or record update goes
 * wrong.
 *
 * Counted calls: open for writing, mkstemp, mkdir, rename and unlink whose
 * path lies under a watched directory; write, fchmod, fsync, fdatasync and
 * close on a descriptor that such an open or mkstemp returned; and syncfs
 * on any descriptor of a file under a watched directory. Everything else
 * (the report on standard error, reading the source) passes through
 * uncounted. Only calls made through the dynamic linker are seen: glibc's
 * calls to itself (mkstemp's own open, stdio's writes) are not.
 *
 * Environment:
 *   TVCONV_FAULT_DIRS   colon-separated absolute directories to watch
 *                       (unset: every path, and every descriptor above 2)
 *   TVCONV_FAULT_AT     N: the Nth counted call fails, or kills
 *   TVCONV_FAULT_MATCH  TEXT: instead, the first counted call whose "op path"
 *                       (as in the trace) contains TEXT
 *   TVCONV_FAULT_ERRNO  the error it fails with: EIO (the default), ENOSPC,
 *                       EROFS, EACCES or a number
 *   TVCONV_FAULT_KILL   1: SIGKILL the process at the Nth call instead of
 *                       making it; a write is cut in half first, as by a
 *                       crash in the middle of it
 *   TVCONV_FAULT_TRACE  a file to which each counted call appends the line
 *                       "N op path", with " FAILED" or " KILLED" at the Nth
 *   TVCONV_FAULT_COUNT_FILE  a file that receives the number of counted
 *                       calls when the process exits normally
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FDS 4096
#define MAX_DIRS 8

typedef int (*open_fn)(const char*, int, ...);
typedef int (*mkstemp_fn)(char*);
typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef int (*fd_fn)(int);
typedef int (*fchmod_fn)(int, mode_t);
typedef int (*mkdir_fn)(const char*, mode_t);
typedef int (*rename_fn)(const char*, const char*);
typedef int (*unlink_fn)(const char*);

static struct {
    open_fn open;
    mkstemp_fn mkstemp;
    write_fn write;
    fd_fn close, fsync, fdatasync, syncfs;
    fchmod_fn fchmod;
    mkdir_fn mkdir;
    rename_fn rename;
    unlink_fn unlink;
} real;

static long fault_at;
static const char* fault_match;
static atomic_bool matched;
static int fault_errno = EIO;
static bool fault_kill;
static int trace_fd = -1;
static const char* count_path;
static char* dirs[MAX_DIRS];
static size_t dir_count;
static bool watch_all = true;
static atomic_long calls;
/* Descriptors opened for writing under a watched directory, and their paths
 * for the trace. */
static atomic_bool watched_fd[MAX_FDS];
static _Atomic(char*) fd_path[MAX_FDS];

static void* next_symbol(const char* name) {
    void* p = dlsym(RTLD_NEXT, name);
    if (!p) {
        fprintf(stderr, "fault_inject: no next %s\n", name);
        _exit(99);
    }
    return p;
}

/* The real functions, looked up on first use: a constructor of another
 * library may call one before ours has run. */
static void resolve(void) {
    if (real.unlink) return;
    real.open = (open_fn)next_symbol("open");
    real.mkstemp = (mkstemp_fn)next_symbol("mkstemp");
    real.write = (write_fn)next_symbol("write");
    real.close = (fd_fn)next_symbol("close");
    real.fsync = (fd_fn)next_symbol("fsync");
    real.fdatasync = (fd_fn)next_symbol("fdatasync");
    real.syncfs = (fd_fn)next_symbol("syncfs");
    real.fchmod = (fchmod_fn)next_symbol("fchmod");
    real.mkdir = (mkdir_fn)next_symbol("mkdir");
    real.rename = (rename_fn)next_symbol("rename");
    real.unlink = (unlink_fn)next_symbol("unlink");
}
#define REAL(name) (resolve(), real.name)

static void set_fd(int fd, bool watched, const char* path) {
    if (fd < 0 || fd >= MAX_FDS) return;
    char* copy = watched && path ? strdup(path) : NULL;
    free(atomic_exchange(&fd_path[fd], copy));
    atomic_store(&watched_fd[fd], watched);
}

static bool is_watched_fd(int fd) {
    if (watch_all) return fd > 2;
    return fd >= 0 && fd < MAX_FDS && atomic_load(&watched_fd[fd]);
}

static bool is_watched_path(const char* path) {
    if (watch_all) return true;
    if (!path) return false;
    char absolute[2 * PATH_MAX];
    if (path[0] != '/') {
        if (!getcwd(absolute, PATH_MAX)) return false;
        size_t n = strlen(absolute);
        snprintf(absolute + n, sizeof absolute - n, "/%s", path);
        path = absolute;
    }
    for (size_t i = 0; i < dir_count; ++i) {
        size_t n = strlen(dirs[i]);
        if (strncmp(path, dirs[i], n) == 0 && (path[n] == '/' || path[n] == '\0')) return true;
    }
    return false;
}

enum verdict { PASS, FAIL, KILL };

/* Counts one call and says what to do with it. */
static enum verdict count(const char* op, const char* path) {
    long n = atomic_fetch_add(&calls, 1) + 1;
    char what[PATH_MAX + 16];
    snprintf(what, sizeof what, "%s %s", op, path ? path : "?");
    bool hit = fault_match ? strstr(what, fault_match) && !atomic_exchange(&matched, true)
                           : n == fault_at;
    enum verdict v = hit ? (fault_kill ? KILL : FAIL) : PASS;
    if (trace_fd >= 0) {
        char line[PATH_MAX + 64];
        int len = snprintf(line, sizeof line, "%ld %s%s\n", n, what,
                           v == FAIL ? " FAILED" : v == KILL ? " KILLED" : "");
        if (len > 0) REAL(write)(trace_fd, line, (size_t)len < sizeof line ? (size_t)len : sizeof line);
    }
    return v;
}

static void die(void) {
    kill(getpid(), SIGKILL);
    _exit(137);
}

/* Applies the verdict of a call that has not been made yet: returns true
 * when the caller must return -1 (errno set). */
static bool refuse(enum verdict v) {
    if (v == KILL) die();
    if (v == FAIL) {
        errno = fault_errno;
        return true;
    }
    return false;
}

static const char* path_of(int fd) {
    return fd >= 0 && fd < MAX_FDS ? atomic_load(&fd_path[fd]) : NULL;
}

__attribute__((constructor)) static void fault_init(void) {
    const char* at = getenv("TVCONV_FAULT_AT");
    fault_at = at ? strtol(at, NULL, 10) : 0;
    fault_match = getenv("TVCONV_FAULT_MATCH");
    if (fault_match && !*fault_match) fault_match = NULL;
    const char* e = getenv("TVCONV_FAULT_ERRNO");
    if (e && *e) {
        if (strcmp(e, "EIO") == 0) fault_errno = EIO;
        else if (strcmp(e, "ENOSPC") == 0) fault_errno = ENOSPC;
        else if (strcmp(e, "EROFS") == 0) fault_errno = EROFS;
        else if (strcmp(e, "EACCES") == 0) fault_errno = EACCES;
        else fault_errno = (int)strtol(e, NULL, 10);
    }
    const char* k = getenv("TVCONV_FAULT_KILL");
    fault_kill = k && strcmp(k, "1") == 0;
    count_path = getenv("TVCONV_FAULT_COUNT_FILE");
    const char* d = getenv("TVCONV_FAULT_DIRS");
    if (d && *d) {
        watch_all = false;
        char* list = strdup(d);
        for (char* save = NULL, *dir = strtok_r(list, ":", &save); dir && dir_count < MAX_DIRS;
             dir = strtok_r(NULL, ":", &save)) {
            size_t n = strlen(dir);
            while (n > 1 && dir[n - 1] == '/') dir[--n] = '\0';
            dirs[dir_count++] = dir;
        }
    }
    const char* t = getenv("TVCONV_FAULT_TRACE");
    if (t && *t) trace_fd = REAL(open)(t, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

__attribute__((destructor)) static void fault_fini(void) {
    if (!count_path || !*count_path) return;
    int fd = REAL(open)(count_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char text[32];
    int len = snprintf(text, sizeof text, "%ld\n", atomic_load(&calls));
    if (len > 0) REAL(write)(fd, text, (size_t)len);
    REAL(close)(fd);
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    bool writing = (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT);
    bool watched = writing && is_watched_path(path);
    if (watched && refuse(count("open", path))) return -1;
    int fd = REAL(open)(path, flags, mode);
    set_fd(fd, watched, path);
    return fd;
}

int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int mkstemp(char* tmpl) {
    bool watched = is_watched_path(tmpl);
    if (watched && refuse(count("mkstemp", tmpl))) return -1;
    int fd = REAL(mkstemp)(tmpl);
    set_fd(fd, watched, tmpl);
    return fd;
}

int mkstemp64(char* tmpl) __attribute__((alias("mkstemp")));

ssize_t write(int fd, const void* buffer, size_t size) {
    if (!is_watched_fd(fd)) return REAL(write)(fd, buffer, size);
    enum verdict v = count("write", path_of(fd));
    if (v == KILL) {
        /* Torn: part of the data reaches the file, then the process dies. */
        if (size > 1) REAL(write)(fd, buffer, size / 2);
        die();
    }
    if (refuse(v)) return -1;
    return REAL(write)(fd, buffer, size);
}

int fchmod(int fd, mode_t mode) {
    if (is_watched_fd(fd) && refuse(count("fchmod", path_of(fd)))) return -1;
    return REAL(fchmod)(fd, mode);
}

int fsync(int fd) {
    if (is_watched_fd(fd) && refuse(count("fsync", path_of(fd)))) return -1;
    return REAL(fsync)(fd);
}

int fdatasync(int fd) {
    if (is_watched_fd(fd) && refuse(count("fdatasync", path_of(fd)))) return -1;
    return REAL(fdatasync)(fd);
}

/* The descriptor syncfs is given was opened for reading: what it names
 * decides. */
int syncfs(int fd) {
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n > 0) {
        path[n] = '\0';
        if (is_watched_path(path) && refuse(count("syncfs", path))) return -1;
    }
    return REAL(syncfs)(fd);
}

int close(int fd) {
    if (!is_watched_fd(fd)) return REAL(close)(fd);
    enum verdict v = count("close", path_of(fd));
    if (v == KILL) die();
    set_fd(fd, false, NULL);
    int result = REAL(close)(fd);
    /* Linux releases the descriptor even when close reports an error. */
    if (v == FAIL) {
        errno = fault_errno;
        return -1;
    }
    return result;
}

int mkdir(const char* path, mode_t mode) {
    if (is_watched_path(path) && refuse(count("mkdir", path))) return -1;
    return REAL(mkdir)(path, mode);
}

int rename(const char* from, const char* to) {
    if ((is_watched_path(from) || is_watched_path(to)) && refuse(count("rename", to))) return -1;
    return REAL(rename)(from, to);
}

int unlink(const char* path) {
    if (is_watched_path(path) && refuse(count("unlink", path))) return -1;
    return REAL(unlink)(path);
}
