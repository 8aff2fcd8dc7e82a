// The run as one self-contained HTML page: what is left to do at a glance.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "tree/report.h"

namespace tvconv::tree {

// Reads a source file by its path relative to SOURCE, for the lines around
// each finding; nothing when it cannot be read.
using SourceReader = std::function<std::optional<std::string>(const std::string&)>;

// The page needs no other file and no script to be read; a script only adds
// filtering. Every byte from a template or a file name is escaped, and a
// byte that is not UTF-8 is shown as \xXX.
std::string html_report(const RunReport& run, int status, const SourceReader& read_source);

// `bytes` as HTML text (exposed for the tests).
std::string html_text(std::string_view bytes);

}  // namespace tvconv::tree
