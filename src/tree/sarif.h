// The run as a SARIF 2.1.0 log, for editors and CI systems that show each
// finding in place.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tree/model.h"

namespace tvconv::tree {

// What a code-scanning service takes in one run: GitHub's, the strictest,
// shows 5,000 results, rejects a run of more than 25,000 and a file over
// 10 MB. The log holds at most `results` results of `bytes` in all.
struct SarifLimits {
    std::size_t results = 5000;
    std::size_t bytes = 8'000'000;  // of results; rules and the rest take little
};

// The findings a log holds: the most severe first (every error, then
// warnings, then notes, each in the report's order) while the limits allow.
struct SarifSelection {
    std::vector<char> kept;  // by index into model.findings()
    std::size_t kept_count = 0;
    std::size_t left_out[3] = {};  // by Severity
    std::size_t left_out_count() const { return left_out[0] + left_out[1] + left_out[2]; }
};
SarifSelection sarif_selection(const ReportModel& model, const SarifLimits& limits = {});

// What the terminal says after the summary when the log left findings out,
// with its line feed; empty when it holds them all.
std::string sarif_left_out_line(const SarifSelection& selection);

// One run: the tool with its version and one rule per code, and a result
// per selected finding, in the report's order, located where the user edits
// it: a finding of a converted file by its target's path and line under the
// base id TARGETROOT (TARGET resolved), its source as a related location;
// any other by its path relative to SOURCE under SRCROOT (`source_root` is
// the resolved SOURCE). Without a TARGET to resolve, every finding is in
// SOURCE. When findings were left out, the run's properties count them by
// level and a tool notification says so.
std::string sarif_report(const ReportModel& model, const std::string& source_root,
                         const SarifSelection& selection);

}  // namespace tvconv::tree
