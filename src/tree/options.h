// The command line of tvconv-tree.
#pragma once

#include <string>
#include <vector>

#include "tree/error.h"

namespace tvconv::tree {

// How much of a run the terminal shows; the report files are always whole.
enum class Verbosity {
    kQuiet,    // the summary and what needs the user: no note at all
    kDefault,  // no note about a file this run left as it was
    kVerbose,  // every finding
};

struct Options {
    std::string source;
    std::string target;  // empty only with --check
    // Template extensions, lower case, without the dot.
    std::vector<std::string> extensions{"html", "htm", "cfg"};
    bool copy = true;
    bool check = false;
    std::string report;                 // JSON report file; "-" is standard output
    std::string html;                   // HTML report file
    std::string sarif;                  // SARIF log file
    bool diff = false;                  // print unified diffs on standard output; implies check
    unsigned jobs = 0;                  // 0: one per processor
    bool keep_references = false;       // leave ^macro_use arguments as they are
    bool force = false;                 // overwrite target files edited by hand
    bool merge = true;                  // merge new conversions into hand-edited pages
    std::string conflicts;              // where conflicting merges go, with markers
    std::string state;                  // the record of what was written; empty: the cache
    std::vector<std::string> excludes;  // globs over paths relative to the source
    Verbosity verbosity = Verbosity::kDefault;  // the last of -q and -v wins
};

enum class Command { kRun, kHelp, kVersion, kUsageError };

struct ParsedCommandLine {
    Command command = Command::kUsageError;
    Options options;
    std::string error;  // for kUsageError
};

ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// Parses the --ext list "html,.HTM, cfg" into {"html", "htm", "cfg"}. An
// empty entry, or one with a blank, a glob character or a slash, is an
// error: such a list would match nothing the user meant.
Error parse_extensions(const std::string& list, std::vector<std::string>& out);

// The text of --help; the first line is the usage line.
const char* usage_text();

}  // namespace tvconv::tree
