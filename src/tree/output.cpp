#include "tree/output.h"

#include <sys/stat.h>

#include <cerrno>

#include "tree/io.h"
#include "tree/paths.h"

namespace tvconv::tree {

Error TargetWriter::check_directory(const std::string& dir) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = checked_.find(dir); it != checked_.end()) return it->second;
    }
    // A directory that cannot be resolved now may be later: not kept.
    std::string real = real_path(dir);
    if (real.empty()) return Error("cannot write", dir, errno);
    // The target contains the source, or a link in the target tree leads
    // back into it.
    Error answer = is_within(real, source_root_)
                       ? Error::because("refused to write inside the source tree", dir)
                       : Error();
    std::lock_guard lock(mutex_);
    checked_.emplace(dir, answer);
    return answer;
}

Error TargetWriter::refuse(const std::string& path) {
    return check_directory(containing_directory(path));
}

Error TargetWriter::make_directory(const std::string& path) {
    if (Error e = refuse(path)) return e;
    if (::mkdir(path.c_str(), 0777) == 0) return {};
    int error = errno;
    struct stat st;
    if (error == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
    return Error("cannot create directory", path, error == EEXIST ? ENOTDIR : error);
}

Error TargetWriter::stage_file(const std::string& path, std::string_view data, mode_t mode,
                               unsigned slot, std::string& temp, struct stat& st) {
    if (Error e = refuse(path)) return e;
    return write_temporary(path, data, mode, slot, temp, st);
}

Error TargetWriter::stage_copy(const std::string& from, const std::string& path, mode_t mode,
                               unsigned slot, std::string& temp, struct stat& st,
                               std::string& hash) {
    if (Error e = refuse(path)) return e;
    return copy_temporary(from, path, mode, slot, temp, st, hash);
}

}  // namespace tvconv::tree
