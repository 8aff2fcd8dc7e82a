// Which files are templates and what their converted files are called.
// (How names are shown is escape.h's.)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tree/escape.h"

namespace tvconv::tree {

// Whether `name` ends in "." and one of `extensions` (lower case), ignoring
// ASCII case, with something before the dot.
bool is_template(std::string_view name, const std::vector<std::string>& extensions);

// The file name a converted template is written under: macro files take the
// target's extension, "NAME.cfg" and "_NAME.cfg" become "NAME.tvx", and
// "tavrin.cfg" becomes "auto.tvx"; any other name is kept.
std::string converted_name(std::string_view name);

}  // namespace tvconv::tree
