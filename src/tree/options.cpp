#include "tree/options.h"

#include <getopt.h>

#include <charconv>
#include <string_view>

#include "tree/names.h"

namespace tvconv::tree {

namespace {

bool parse_jobs(std::string_view text, unsigned& jobs, std::string& error) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 1024) {
        error = "-j needs a number of jobs from 1 to 1024, not '" + printable(text) + "'";
        return false;
    }
    jobs = value;
    return true;
}

enum LongOnly : int {
    kExt = 256,
    kNoCopy,
    kCheck,
    kReport,
    kVersion,
    kKeepReferences,
    kForce,
    kState,
    kExclude,
    kHtml,
    kSarif,
    kDiff,
};

}  // namespace

bool parse_extensions(const std::string& list, std::vector<std::string>& out, std::string& error) {
    out.clear();
    std::string_view rest = list;
    for (;;) {
        std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (!item.empty() && item.front() == '.') item.remove_prefix(1);
        if (item.empty()) {
            error = "--ext: empty extension in '" + printable(list) +
                    "' (separate extensions with commas: html,htm,cfg)";
            return false;
        }
        if (item.find_first_of(" \t*?[]/\\") != std::string_view::npos) {
            error = "--ext: '" + printable(item) +
                    "' is not a file-name extension (separate extensions with commas; no "
                    "blanks, globs or slashes)";
            return false;
        }
        std::string ext;
        for (char c : item) ext += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        out.push_back(ext);
        if (comma == std::string_view::npos) return true;
        rest.remove_prefix(comma + 1);
    }
}

const char* usage_text() {
    return "usage: tvconv-tree [options] SOURCE_DIR TARGET_DIR\n"
           "       tvconv-tree --check [options] SOURCE_DIR [TARGET_DIR]\n"
           "\n"
           "Converts every Tavrin 2 template under SOURCE_DIR to Tavrin 3 and writes the\n"
           "site under TARGET_DIR with the same layout. Macro files are renamed as the\n"
           "target expects (NAME.cfg and _NAME.cfg become NAME.tvx, tavrin.cfg becomes\n"
           "auto.tvx) and ^macro_use references to them are rewritten. Other files are\n"
           "copied unchanged. A re-run converts only what changed and never overwrites a\n"
           "target file edited by hand.\n"
           "\n"
           "options:\n"
           "  --ext LIST         extensions of template files, comma-separated\n"
           "                     (default: html,htm,cfg; case is ignored)\n"
           "  --exclude GLOB     leave out paths (relative to SOURCE_DIR) that match;\n"
           "                     repeatable (.git, .svn, .hg and CVS are always left out)\n"
           "  --no-copy          do not copy files that are not templates\n"
           "  --keep-references  do not rewrite ^macro_use references to renamed files\n"
           "  --force            overwrite target files edited by hand since the last run\n"
           "  --state FILE       keep the record of what was written in FILE (default:\n"
           "                     in $XDG_CACHE_HOME/tvconv or ~/.cache/tvconv)\n"
           "  --check            convert and report, but write nothing\n"
           "  --diff             print a unified diff from each template to its conversion on\n"
           "                     standard output, and write nothing (implies --check)\n"
           "  --report FILE      also write the report as JSON to FILE ('-': standard output)\n"
           "  --html FILE        also write the report as a self-contained HTML page\n"
           "  --sarif FILE       also write the findings as a SARIF 2.1.0 log\n"
           "  -j, --jobs N       convert N files at once (default: number of processors)\n"
           "  -h, --help         show this help and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "The report (every diagnostic as PATH:LINE: MESSAGE, then a summary) goes to\n"
           "standard error. Exit status: 0 all templates converted with no diagnostic,\n"
           "3 all converted but manual edits or checks are left, 1 a file failed or\n"
           "was skipped, or no template was found, 2 wrong usage, 130 interrupted.\n";
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    ParsedCommandLine p;
    Options& o = p.options;

    static const option kLong[] = {
        {"ext", required_argument, nullptr, kExt},
        {"exclude", required_argument, nullptr, kExclude},
        {"no-copy", no_argument, nullptr, kNoCopy},
        {"keep-references", no_argument, nullptr, kKeepReferences},
        {"force", no_argument, nullptr, kForce},
        {"state", required_argument, nullptr, kState},
        {"check", no_argument, nullptr, kCheck},
        {"report", required_argument, nullptr, kReport},
        {"html", required_argument, nullptr, kHtml},
        {"sarif", required_argument, nullptr, kSarif},
        {"diff", no_argument, nullptr, kDiff},
        {"jobs", required_argument, nullptr, 'j'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    // getopt_long wants a mutable argv with the program name first; it
    // moves operands behind the options, so they may come in any order.
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.emplace_back("tvconv-tree");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(storage.size());

    optind = 0;  // a full reset: the tests parse many command lines
    opterr = 0;
    bool help = false, version = false;
    for (;;) {
        int index = -1;
        int c = getopt_long(argc, argv.data(), "hj:", kLong, &index);
        if (c == -1) break;
        std::string value = optarg ? optarg : "";
        switch (c) {
            case 'h':
                help = true;
                break;
            case kVersion:
                version = true;
                break;
            case kExt:
                if (!parse_extensions(value, o.extensions, p.error)) return p;
                break;
            case kExclude:
                if (value.empty()) {
                    p.error = "--exclude needs a pattern";
                    return p;
                }
                o.excludes.push_back(value);
                break;
            case kNoCopy:
                o.copy = false;
                break;
            case kKeepReferences:
                o.keep_references = true;
                break;
            case kForce:
                o.force = true;
                break;
            case kState:
                if (value.empty()) {
                    p.error = "--state needs a file name";
                    return p;
                }
                o.state = value;
                break;
            case kCheck:
                o.check = true;
                break;
            case kReport:
                if (value.empty()) {
                    p.error = "--report needs a file name";
                    return p;
                }
                o.report = value;
                break;
            case kHtml:
            case kSarif:
                if (value.empty()) {
                    p.error = std::string(c == kHtml ? "--html" : "--sarif") + " needs a file name";
                    return p;
                }
                (c == kHtml ? o.html : o.sarif) = value;
                break;
            case kDiff:
                o.diff = true;
                o.check = true;
                break;
            case 'j':
                if (!parse_jobs(value, o.jobs, p.error)) return p;
                break;
            case '?':
            default: {
                std::string arg = optind > 0 && optind <= argc ? storage[std::size_t(optind - 1)]
                                                               : std::string();
                bool known_with_value = false;
                if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
                    std::string name = arg.substr(0, arg.find('='));
                    for (const option& opt : kLong)
                        if (opt.name && name == std::string("--") + opt.name) known_with_value = true;
                    if (known_with_value) p.error = "option " + name + " takes no value";
                }
                if (known_with_value) {
                    // said above
                } else if (optopt == 'j' || optopt >= kExt) {
                    // A known option without its value.
                    std::string name = "-j";
                    for (const option& opt : kLong)
                        if (opt.name && opt.val == optopt) name = std::string("--") + opt.name;
                    p.error = "option " + name + " needs a value";
                } else {
                    p.error = "unknown option '" + printable(arg) + "'";
                }
                return p;
            }
        }
    }
    if (help) {
        p.command = Command::kHelp;
        return p;
    }
    if (version) {
        p.command = Command::kVersion;
        return p;
    }

    if (o.diff && o.report == "-") {
        p.error = "--diff and --report - both write to standard output";
        return p;
    }
    std::vector<std::string> operands(storage.begin() + optind, storage.end());
    std::size_t wanted_min = o.check ? 1 : 2;
    if (operands.size() < wanted_min || operands.size() > 2) {
        p.error = operands.size() > 2 ? "too many arguments"
                  : o.check           ? "missing SOURCE_DIR"
                                      : "missing SOURCE_DIR or TARGET_DIR";
        return p;
    }
    o.source = operands[0];
    if (operands.size() == 2) o.target = operands[1];
    if (o.source.empty() || (operands.size() == 2 && o.target.empty())) {
        p.error = "empty directory name";
        return p;
    }
    p.command = Command::kRun;
    return p;
}

}  // namespace tvconv::tree
