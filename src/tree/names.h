// Which files are templates, what their converted files are called, and how
// messages and file names are shown in the report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvconv::tree {

// Whether `name` ends in "." and one of `extensions` (lower case), ignoring
// ASCII case, with something before the dot.
bool is_template(std::string_view name, const std::vector<std::string>& extensions);

// The file name a converted template is written under: macro files take the
// target's extension, "NAME.cfg" and "_NAME.cfg" become "NAME.tvx", and
// "tavrin.cfg" becomes "auto.tvx"; any other name is kept.
std::string converted_name(std::string_view name);

// `s` for a terminal line: control bytes as C escapes, so that one report
// line stays one line (a syntax error can quote a line feed as its token).
std::string printable(std::string_view s);

}  // namespace tvconv::tree
