#include "tree/walk.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include "tree/names.h"

namespace tvconv::tree {

namespace {

class Walker {
  public:
    Walker(const std::string& root, const Options& options) : root_(root), options_(options) {}

    // Lists the directory `rel`; `self` indexes its own entry (kRoot for the
    // root).
    static constexpr std::size_t kRoot = std::size_t(-1);
    void directory(const std::string& rel, std::size_t self) {
        std::string abs = rel.empty() ? root_ : root_ + "/" + rel;
        std::vector<std::string> names;
        DIR* dir = ::opendir(abs.c_str());
        if (!dir) {
            fail_directory(self, errno);
            return;
        }
        errno = 0;
        while (dirent* d = ::readdir(dir)) {
            if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
                names.emplace_back(d->d_name);
        }
        int error = errno;
        ::closedir(dir);
        if (error) {
            fail_directory(self, error);
            return;
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) item(rel, name);
    }

    std::vector<Entry> entries;
    Error root_problem;

  private:
    void fail_directory(std::size_t self, int error) {
        if (self == kRoot)
            root_problem = Error("cannot read directory", root_, error);
        else
            entries[self].problem = Error("cannot read directory", {}, error).message();
    }

    void item(const std::string& dir, const std::string& name) {
        Entry e;
        e.path = join(dir, name);
        std::string abs = root_ + "/" + e.path;
        e.template_name = is_template(name, options_.extensions);
        struct stat st;
        if (std::string why = exclusion(e.path, name, options_.excludes); !why.empty()) {
            e.kind = Kind::kExcluded;
            e.problem = why;
            e.directory = ::lstat(abs.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        } else if (::lstat(abs.c_str(), &st) != 0) {
            e.kind = Kind::kFile;
            e.target = e.path;
            e.problem = std::string("cannot read: ") + std::strerror(errno);
        } else if (!S_ISLNK(st.st_mode) || follow(e, abs, st)) {
            e.mode = st.st_mode & 0777;
            if (S_ISDIR(st.st_mode)) {
                e.kind = Kind::kDirectory;
                e.target = e.path;
                std::string rel = e.path;
                std::size_t self = entries.size();
                entries.push_back(std::move(e));
                directory(rel, self);
                return;
            }
            classify(e, st, dir, name);
        }
        entries.push_back(std::move(e));
    }

    // A link is read as the file it leads to, but only when that file is
    // inside the tree: a link must not carry a file from elsewhere on the
    // machine into the published site. Sets `st` to what it leads to, or
    // makes `e` a skipped entry and returns false.
    bool follow(Entry& e, const std::string& abs, struct stat& st) {
        std::string real = real_path(abs);
        e.kind = Kind::kSkipped;
        if (real.empty()) {
            e.problem = errno == ELOOP    ? "symbolic link loop"
                        : errno == ENOENT ? "dangling symbolic link (its target does not exist)"
                                          : std::string("symbolic link cannot be followed: ") +
                                                std::strerror(errno);
        } else if (!is_within(real, root_)) {
            e.problem = "symbolic link leads out of the source tree";
        } else if (::stat(abs.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            e.problem = S_ISDIR(st.st_mode) ? "symbolic link to a directory, not followed"
                                            : "symbolic link to something not a regular file";
        } else {
            e.kind = Kind::kFile;
            return true;
        }
        return false;
    }

    // What a file that is not a directory becomes.
    void classify(Entry& e, const struct stat& st, const std::string& dir,
                  const std::string& name) const {
        if (!S_ISREG(st.st_mode)) {
            // Reading a pipe would block the run; devices are not site files.
            e.kind = Kind::kSkipped;
            e.problem = "not a regular file";
        } else if (e.template_name) {
            e.kind = Kind::kTemplate;
            e.target = join(dir, converted_name(name));
        } else {
            e.kind = Kind::kFile;
            e.target = e.path;
        }
    }

    const std::string& root_;
    const Options& options_;
};

// Two entries with one target name would overwrite each other: "_a.cfg" and
// "a.cfg", "tavrin.cfg" and "auto.cfg", "a.cfg" and a copied "a.tvx". None
// of them is written, so that no file silently replaces another.
// Files that --no-copy leaves out take no name.
void fail_collisions(std::vector<Entry>& entries, bool copy) {
    std::map<std::string, std::vector<std::size_t>> by_target;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Kind k = entries[i].kind;
        if (k == Kind::kSkipped || k == Kind::kExcluded || (k == Kind::kFile && !copy)) continue;
        by_target[entries[i].target].push_back(i);
    }
    for (const auto& [target, indices] : by_target) {
        if (indices.size() < 2) continue;
        for (std::size_t i : indices) {
            Entry& e = entries[i];
            if (e.kind == Kind::kDirectory) continue;
            std::string others;
            for (std::size_t j : indices) {
                if (j == i) continue;
                others += others.empty() ? "" : ", ";
                others += entries[j].path;
            }
            e.problem = "target name " + target + " is also taken by " + others;
        }
    }
}

constexpr const char* kVersionControl[] = {".git", ".svn", ".hg", "CVS"};

}  // namespace

std::string exclusion(const std::string& path, const std::string& name,
                      const std::vector<std::string>& patterns) {
    for (const char* vc : kVersionControl)
        if (name == vc) return "version-control folder";
    for (const std::string& p : patterns) {
        if (::fnmatch(p.c_str(), path.c_str(), 0) == 0 ||
            (p.find('/') == std::string::npos && ::fnmatch(p.c_str(), name.c_str(), 0) == 0))
            return "excluded by --exclude " + p;
    }
    return {};
}

Error walk(const std::string& root, const Options& options, std::vector<Entry>& entries) {
    Walker walker(root, options);
    walker.directory("", Walker::kRoot);
    fail_collisions(walker.entries, options.copy);
    entries = std::move(walker.entries);
    return walker.root_problem;
}

}  // namespace tvconv::tree
