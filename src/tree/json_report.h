// The JSON view of a run (--report).
#pragma once

#include <string>

#include "tree/io.h"
#include "tree/model.h"

namespace tvconv::tree {

// The report, with `status` as the run's exit status.
// It is handed to `put` a piece at a time, never held whole.
Error json_report(const ReportModel& model, int status, const PieceSink& put);

// `bytes` as a JSON string, the way the JSON report writes names and
// messages: UTF-8 as it is, each other byte as a lone surrogate U+DCxx.
std::string json_text(const std::string& bytes);

}  // namespace tvconv::tree
