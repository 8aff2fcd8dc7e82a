// Path arithmetic on '/'-separated names, as the walk and the writers use it.
#pragma once

#include <string>

namespace tvconv::tree {

// `name` inside `dir`; `name` alone when `dir` is empty (the root of a
// relative tree).
std::string join(const std::string& dir, const std::string& name);

// The relative directory that holds `rel`: empty for a name at the root.
std::string parent(const std::string& rel);

// The directory to open to reach `path`: "." for a bare name, "/" for a
// name at the root of the file system.
std::string containing_directory(const std::string& path);

// The last component of `path`.
std::string base_name(const std::string& path);

// Whether `path` is `dir` or lies beneath it (both absolute and resolved).
bool is_within(const std::string& path, const std::string& dir);

// `path` with every link and "..", resolved; empty (errno set) when it
// cannot be.
std::string real_path(const std::string& path);

}  // namespace tvconv::tree
