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
// filtering, and its policy lets no other script run and nothing load. Every
// byte from a template or a file name is escaped; a byte that is not UTF-8
// is shown as \xXX, a control or a character that reorders text as \uXXXX.
std::string html_report(const RunReport& run, int status, const SourceReader& read_source);

// `bytes` as HTML text (exposed for the tests).
std::string html_text(std::string_view bytes);

// The Content-Security-Policy source that allows exactly this inline script:
// "sha256-" and the base64 of its SHA-256 (exposed for the tests).
std::string csp_hash(std::string_view script);

}  // namespace tvconv::tree
