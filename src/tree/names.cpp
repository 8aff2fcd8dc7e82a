#include "tree/names.h"

namespace tvconv::tree {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Whether `name` is STEM.EXT with a non-empty STEM, ignoring case.
bool has_extension(std::string_view name, std::string_view ext) {
    return name.size() > ext.size() + 1 && name[name.size() - ext.size() - 1] == '.' &&
           iequals(name.substr(name.size() - ext.size()), ext);
}

}  // namespace

bool is_template(std::string_view name, const std::vector<std::string>& extensions) {
    for (const std::string& ext : extensions)
        if (has_extension(name, ext)) return true;
    return false;
}

std::string converted_name(std::string_view name) {
    if (iequals(name, "tavrin.cfg")) return "auto.tvx";
    if (!has_extension(name, "cfg")) return std::string(name);
    std::string_view stem = name.substr(0, name.size() - 4);
    // "_.cfg" keeps its underscore: the name would otherwise be hidden.
    if (stem.size() > 1 && stem.front() == '_') stem.remove_prefix(1);
    return std::string(stem) + ".tvx";
}

}  // namespace tvconv::tree
