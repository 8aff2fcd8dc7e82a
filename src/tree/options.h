// The command line of tvconv-tree.
#pragma once

#include <string>
#include <vector>

namespace tvconv::tree {

struct Options {
    std::string source;
    std::string target;  // empty only with --check
    // Template extensions, lower case, without the dot.
    std::vector<std::string> extensions{"html", "htm", "cfg"};
    bool copy = true;
    bool check = false;
    std::string report;  // JSON report file; "-" is standard output
    unsigned jobs = 0;   // 0: one per processor
};

enum class Command { kRun, kHelp, kVersion, kUsageError };

struct ParsedCommandLine {
    Command command = Command::kUsageError;
    Options options;
    std::string error;  // for kUsageError
};

ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// The text of --help; the first line is the usage line.
const char* usage_text();

}  // namespace tvconv::tree
