// tvconv-tree [options] SOURCE_DIR TARGET_DIR: migrates a whole template tree
// from Tavrin 2 to Tavrin 3 (see --help).
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tree/options.h"
#include "tree/run.h"

int main(int argc, char** argv) {
    using namespace tvconv::tree;
    ParsedCommandLine cl = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    switch (cl.command) {
        case Command::kHelp:
            std::fputs(usage_text(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case Command::kVersion:
            std::puts("tvconv-tree " TVCONV_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case Command::kUsageError: {
            std::string usage = usage_text();
            std::fprintf(stderr, "tvconv-tree: %s\n%s", cl.error.c_str(),
                         usage.substr(0, usage.find("\n\n") + 1).c_str());
            std::fputs("Try 'tvconv-tree --help' for more information.\n", stderr);
            return 2;
        }
        case Command::kRun:
            break;
    }
    return run(cl.options, stderr, ::isatty(STDERR_FILENO) == 1);
}
