// The run as one self-contained HTML page: what is left to do at a glance.
#pragma once

#include <string>
#include <string_view>

#include "tree/io.h"
#include "tree/model.h"

namespace tvconv::tree {

// The page needs no other file and no script to be read: each file that
// needs attention is a collapsed section listing its findings as text. A
// script draws each finding with the source lines around it (the excerpts
// the outcomes kept) when its section is opened, and adds filtering; the
// page's policy lets no other script run and nothing load. Every byte from a
// template or a file name is escaped; a byte that is not UTF-8 is shown as
// \xXX, a control or a character that reorders text as \uXXXX (html_text).
// The page is handed to `put` a piece at a time; the whole, for the tests.
Error html_report(const ReportModel& model, int status, const PieceSink& put);
std::string html_report(const ReportModel& model, int status);

// The Content-Security-Policy source that allows exactly this inline script:
// "sha256-" and the base64 of its SHA-256 (exposed for the tests).
std::string csp_hash(std::string_view script);

}  // namespace tvconv::tree
