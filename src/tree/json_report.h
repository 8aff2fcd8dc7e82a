// The JSON view of a run (--report).
#pragma once

#include <string>

#include "tree/model.h"

namespace tvconv::tree {

// The report, with `status` as the run's exit status.
std::string json_report(const ReportModel& model, int status);

// `bytes` as a JSON string, the way the JSON report writes names and
// messages: UTF-8 as it is, each other byte as a lone surrogate U+DCxx.
std::string json_text(const std::string& bytes);

}  // namespace tvconv::tree
