// What happened to each entry, and the report built from it: lines on
// standard error in walk order, the summary, and the JSON document.
#pragma once

#include <string>
#include <vector>

#include "context/diagnostic.h"
#include "tree/names.h"
#include "tree/options.h"
#include "tree/walk.h"

namespace tvconv::tree {

enum class Status {
    kDone,       // a directory that was made (or is there already)
    kConverted,  // a template converted without any diagnostic
    kManual,     // converted, and its diagnostics ask for manual edits
    kFailed,
    kCopied,
    kNotCopied,  // --no-copy
    kSkipped,
};

struct Result {
    Status status = Status::kFailed;
    std::string reason;  // why it failed or was skipped
    std::vector<Diagnostic> diagnostics;
};

// The report lines of one entry: its diagnostics, then whether it failed or
// was skipped.
std::string entry_lines(const Entry& entry, const Result& result);

std::string summary_text(const Options& options, const std::vector<Entry>& entries,
                         const std::vector<Result>& results);

// 1 when anything failed, else 3 when manual edits are left, else 0.
int exit_status(const std::vector<Result>& results);

std::string json_report(const Options& options, const std::vector<Entry>& entries,
                        const std::vector<Result>& results, int status);

// `s` as a JSON string literal. Bytes that are not UTF-8 (templates in an
// 8-bit code page) are written as \u00XX, one code point per byte.
std::string json_string(std::string_view s);

}  // namespace tvconv::tree
