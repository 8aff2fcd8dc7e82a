#include "tree/options.h"

#include <getopt.h>

#include <charconv>
#include <string_view>

#include "tree/error.h"
#include "tree/names.h"

namespace tvconv::tree {

namespace {

Error parse_jobs(std::string_view text, unsigned& jobs) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 1024)
        return Error::because("-j needs a number of jobs from 1 to 1024, not '" + printable(text) +
                              "'");
    jobs = value;
    return {};
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
    kNoMerge,
    kConflicts,
};

const option kLong[] = {
    {"ext", required_argument, nullptr, kExt},
    {"exclude", required_argument, nullptr, kExclude},
    {"no-copy", no_argument, nullptr, kNoCopy},
    {"keep-references", no_argument, nullptr, kKeepReferences},
    {"force", no_argument, nullptr, kForce},
    {"no-merge", no_argument, nullptr, kNoMerge},
    {"conflicts", required_argument, nullptr, kConflicts},
    {"state", required_argument, nullptr, kState},
    {"check", no_argument, nullptr, kCheck},
    {"report", required_argument, nullptr, kReport},
    {"html", required_argument, nullptr, kHtml},
    {"sarif", required_argument, nullptr, kSarif},
    {"diff", no_argument, nullptr, kDiff},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"jobs", required_argument, nullptr, 'j'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Sets `field` to an option's value, which may not be empty.
Error set_nonempty(std::string& field, const std::string& value, const char* option,
                   const char* needs) {
    if (value.empty()) return Error::because(std::string(option) + " needs " + needs);
    field = value;
    return {};
}

struct Flags {
    bool help = false, version = false;
};

// Applies the option getopt_long returned as `c`, with its value.
Error apply(int c, const std::string& value, Options& o, Flags& flags) {
    switch (c) {
        case 'h':
            flags.help = true;
            return {};
        case kVersion:
            flags.version = true;
            return {};
        case kExt:
            return parse_extensions(value, o.extensions);
        case kExclude:
            if (value.empty()) return Error::because("--exclude needs a pattern");
            o.excludes.push_back(value);
            return {};
        case kNoCopy:
            o.copy = false;
            return {};
        case kKeepReferences:
            o.keep_references = true;
            return {};
        case kForce:
            o.force = true;
            return {};
        case kNoMerge:
            o.merge = false;
            return {};
        case kConflicts:
            return set_nonempty(o.conflicts, value, "--conflicts", "a directory name");
        case kState:
            return set_nonempty(o.state, value, "--state", "a file name");
        case kCheck:
            o.check = true;
            return {};
        case kReport:
            return set_nonempty(o.report, value, "--report", "a file name");
        case kHtml:
            return set_nonempty(o.html, value, "--html", "a file name");
        case kSarif:
            return set_nonempty(o.sarif, value, "--sarif", "a file name");
        case kDiff:
            o.diff = true;
            o.check = true;
            return {};
        case 'q':
            o.verbosity = Verbosity::kQuiet;
            return {};
        case 'v':
            o.verbosity = Verbosity::kVerbose;
            return {};
        case 'j':
            return parse_jobs(value, o.jobs);
    }
    return Error::because("unknown option");  // getopt_long returns no other value
}

// What is wrong with `arg`, which getopt_long did not accept.
Error rejected(const std::string& arg) {
    if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
        std::string name = arg.substr(0, arg.find('='));
        for (const option& opt : kLong)
            if (opt.name && name == std::string("--") + opt.name)
                return Error::because("option " + name + " takes no value");
    }
    if (optopt == 'j' || optopt >= kExt) {
        // A known option without its value.
        std::string name = "-j";
        for (const option& opt : kLong)
            if (opt.name && opt.val == optopt) name = std::string("--") + opt.name;
        return Error::because("option " + name + " needs a value");
    }
    return Error::because("unknown option '" + printable(arg) + "'");
}

// SOURCE_DIR and TARGET_DIR, and what may not go with what.
Error take_operands(const std::vector<std::string>& operands, Options& o) {
    if (o.diff && o.report == "-")
        return Error::because("--diff and --report - both write to standard output");
    std::size_t wanted_min = o.check ? 1 : 2;
    if (operands.size() < wanted_min || operands.size() > 2)
        return Error::because(operands.size() > 2 ? "too many arguments"
                              : o.check           ? "missing SOURCE_DIR"
                                                  : "missing SOURCE_DIR or TARGET_DIR");
    o.source = operands[0];
    if (operands.size() == 2) o.target = operands[1];
    if (o.source.empty() || (operands.size() == 2 && o.target.empty()))
        return Error::because("empty directory name");
    return {};
}

}  // namespace

Error parse_extensions(const std::string& list, std::vector<std::string>& out) {
    out.clear();
    std::string_view rest = list;
    for (;;) {
        std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (!item.empty() && item.front() == '.') item.remove_prefix(1);
        if (item.empty())
            return Error::because("--ext: empty extension in '" + printable(list) +
                                  "' (separate extensions with commas: html,htm,cfg)");
        if (item.find_first_of(" \t*?[]/\\") != std::string_view::npos)
            return Error::because("--ext: '" + printable(item) +
                                  "' is not a file-name extension (separate extensions with "
                                  "commas; no blanks, globs or slashes)");
        std::string ext;
        for (char c : item) ext += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        out.push_back(ext);
        if (comma == std::string_view::npos) return {};
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
           "  --no-merge         keep pages edited by hand as they are, rather than merge\n"
           "                     their sources' changes into them\n"
           "  --conflicts DIR    write each page whose merge conflicts into DIR, at its\n"
           "                     target path, with conflict markers\n"
           "  --state FILE       keep the record of what was written in FILE (default:\n"
           "                     in $XDG_CACHE_HOME/tvconv or ~/.cache/tvconv)\n"
           "  --check            convert and report, but write nothing\n"
           "  --diff             print a unified diff from each template to its conversion on\n"
           "                     standard output, and write nothing (implies --check); with\n"
           "                     TARGET_DIR, to the merge a run would make of a page edited\n"
           "                     by hand\n"
           "  --report FILE      also write the report as JSON to FILE ('-': standard output)\n"
           "  --html FILE        also write the report as a self-contained HTML page\n"
           "  --sarif FILE       also write the findings as a SARIF 2.1.0 log\n"
           "  -q, --quiet        show only the summary and what needs you\n"
           "  -v, --verbose      show every finding, also the notes about files this run\n"
           "                     left as they were\n"
           "  -j, --jobs N       convert N files at once (default: number of processors)\n"
           "  -h, --help         show this help and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "The report (each diagnostic as PATH:LINE: MESSAGE, then a summary) goes to\n"
           "standard error; the report files always hold every diagnostic. Exit status:\n"
           "0 all templates converted with no diagnostic, 3 all converted but manual\n"
           "edits or checks are left, 1 a file failed or was skipped, or no template\n"
           "was found, 2 wrong usage, 130 interrupted.\n";
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    ParsedCommandLine p;
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
    Flags flags;
    for (int c; (c = getopt_long(argc, argv.data(), "hqvj:", kLong, nullptr)) != -1;) {
        Error error = c == '?'
                          ? rejected(optind > 0 && optind <= argc ? storage[std::size_t(optind - 1)]
                                                                  : std::string())
                          : apply(c, optarg ? optarg : "", p.options, flags);
        if (error) {
            p.error = error.message();
            return p;
        }
    }
    if (flags.help || flags.version) {
        p.command = flags.help ? Command::kHelp : Command::kVersion;
        return p;
    }
    std::vector<std::string> operands(storage.begin() + optind, storage.end());
    if (Error error = take_operands(operands, p.options)) {
        p.error = error.message();
        return p;
    }
    p.command = Command::kRun;
    return p;
}

}  // namespace tvconv::tree
