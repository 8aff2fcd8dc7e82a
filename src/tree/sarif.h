// The run as a SARIF 2.1.0 log, for editors and CI systems that show each
// finding in place.
#pragma once

#include <string>

#include "tree/model.h"

namespace tvconv::tree {

// One run: the tool with its version and one rule per code, and a result
// per finding and per file that failed, was skipped or was kept, located by
// its path relative to SOURCE under the base id SRCROOT (`source_root` is
// the resolved SOURCE).
std::string sarif_report(const ReportModel& model, const std::string& source_root);

}  // namespace tvconv::tree
