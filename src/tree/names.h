// Which files are templates, what their converted files are called, and how
// the converter's diagnostics and file names are shown in the report.
#pragma once

#include <optional>
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

struct Diagnostic {
    std::optional<int> line;  // none for messages that quote no line
    std::string message;      // without "(line N)" and the final line feed
};

// Splits what the converter wrote to its diagnostic stream into diagnostics.
std::vector<Diagnostic> split_diagnostics(std::string_view text);

// `s` for a terminal line: control bytes as C escapes, so that one report
// line stays one line (a syntax error can quote a line feed as its token).
std::string printable(std::string_view s);

}  // namespace tvconv::tree
