// The terminal view of a run: each entry's lines on standard error as it
// finishes, in walk order, and the summary at the end.
#pragma once

#include <string>

#include "tree/model.h"

namespace tvconv::tree {

// The report lines of one entry: its diagnostics, then whether it failed,
// was skipped or was kept. Appended to `out`. Below kVerbose, notes about a
// file left as it was are not repeated; kQuiet shows no note at all.
void append_entry_lines(std::string& out, const Entry& entry, const FileOutcome& outcome,
                        Verbosity verbosity = Verbosity::kVerbose);
std::string entry_lines(const Entry& entry, const FileOutcome& outcome,
                        Verbosity verbosity = Verbosity::kVerbose);

// The counts with the files behind them, and what to do next.
std::string summary_text(const ReportModel& model);

}  // namespace tvconv::tree
