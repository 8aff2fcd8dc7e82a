#include "tree/options.h"

#include <charconv>
#include <string_view>

namespace tvconv::tree {

namespace {

// Splits "html,.HTM, cfg" into {"html", "htm", "cfg"}; empty items are dropped.
bool parse_extensions(std::string_view list, std::vector<std::string>& out, std::string& error) {
    out.clear();
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (!item.empty() && item.front() == '.') item.remove_prefix(1);
        if (item.empty()) continue;
        if (item.find('/') != std::string_view::npos) {
            error = "--ext: '" + std::string(item) + "' is not a file-name extension";
            return false;
        }
        std::string ext;
        for (char c : item) ext += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        out.push_back(ext);
    }
    if (out.empty()) error = "--ext needs at least one extension";
    return !out.empty();
}

bool parse_jobs(std::string_view text, unsigned& jobs, std::string& error) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 1024) {
        error = "-j needs a number of jobs from 1 to 1024, not '" + std::string(text) + "'";
        return false;
    }
    jobs = value;
    return true;
}

}  // namespace

const char* usage_text() {
    return "usage: tvconv-tree [options] SOURCE_DIR TARGET_DIR\n"
           "       tvconv-tree --check [options] SOURCE_DIR [TARGET_DIR]\n"
           "\n"
           "Converts every Tavrin 2 template under SOURCE_DIR to Tavrin 3 and writes the\n"
           "site under TARGET_DIR with the same layout. Macro files are renamed as the\n"
           "target expects: NAME.cfg becomes NAME.tvx (a leading '_' removed) and\n"
           "tavrin.cfg becomes auto.tvx. Other files are copied unchanged.\n"
           "\n"
           "options:\n"
           "  --ext LIST     extensions of template files, comma-separated\n"
           "                 (default: html,htm,cfg; case is ignored)\n"
           "  --no-copy      do not copy files that are not templates\n"
           "  --check        convert and report, but write nothing\n"
           "  --report FILE  also write the report as JSON to FILE ('-': standard output)\n"
           "  -j, --jobs N   convert N files at once (default: number of processors)\n"
           "  -h, --help     show this help and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "The report (every diagnostic as PATH:LINE: MESSAGE, then a summary) goes to\n"
           "standard error. Exit status: 0 all templates converted with no diagnostic,\n"
           "3 all converted but manual edits are left, 1 a file failed, 2 wrong usage.\n";
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    ParsedCommandLine p;
    Options& o = p.options;
    std::vector<std::string> operands;
    bool options_done = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        // Options that take a value accept "--opt VALUE", "--opt=VALUE" and,
        // for -j, "-jN".
        std::string name = arg, value;
        bool has_value = false;
        if (std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        } else if (arg.starts_with("-j") && arg.size() > 2) {
            name = "-j";
            value = arg.substr(2);
            has_value = true;
        }
        auto take_value = [&]() -> bool {
            if (has_value) return true;
            if (i + 1 >= args.size()) {
                p.error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto no_value = [&]() -> bool {
            if (has_value) p.error = "option " + name + " takes no value";
            return !has_value;
        };

        if (name == "--help" || name == "-h") {
            if (!no_value()) return p;
            p.command = Command::kHelp;
            return p;
        } else if (name == "--version") {
            if (!no_value()) return p;
            p.command = Command::kVersion;
            return p;
        } else if (name == "--ext") {
            if (!take_value() || !parse_extensions(value, o.extensions, p.error)) return p;
        } else if (name == "--no-copy") {
            if (!no_value()) return p;
            o.copy = false;
        } else if (name == "--check") {
            if (!no_value()) return p;
            o.check = true;
        } else if (name == "--report") {
            if (!take_value()) return p;
            if (value.empty()) {
                p.error = "--report needs a file name";
                return p;
            }
            o.report = value;
        } else if (name == "-j" || name == "--jobs") {
            if (!take_value() || !parse_jobs(value, o.jobs, p.error)) return p;
        } else {
            p.error = "unknown option '" + arg + "'";
            return p;
        }
    }

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
