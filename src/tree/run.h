// One run of tvconv-tree over a source tree.
#pragma once

#include <cstdio>
#include <string>

#include "tree/options.h"

namespace tvconv::tree {

// Converts, copies and reports as `options` ask; the report goes to `report`
// (standard error in the command). Returns the exit status. With `progress`,
// a progress line is kept at the bottom of `report`, which must then be a
// terminal.
int run(const Options& options, std::FILE* report, bool progress);

// The progress line: a bar, files done of total, and the current file, cut
// to fit `width` columns.
std::string progress_line(std::size_t done, std::size_t total, const std::string& current,
                          std::size_t width);

}  // namespace tvconv::tree
