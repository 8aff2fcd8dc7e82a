#include "tree/paths.h"

#include <cstdlib>

namespace tvconv::tree {

std::string join(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : dir + "/" + name;
}

std::string parent(const std::string& rel) {
    std::size_t slash = rel.rfind('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

std::string containing_directory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_within(const std::string& path, const std::string& dir) {
    if (dir == "/") return true;
    return path.starts_with(dir) && (path.size() == dir.size() || path[dir.size()] == '/');
}

std::string real_path(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string result(real);
    std::free(real);
    return result;
}

}  // namespace tvconv::tree
