#include "support.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tvconv::test {

int exit_status(Status status) {
    switch (status) {
        case Status::accepted:
            return 0;
        case Status::syntax_error:
        case Status::stack_overflow:
            return 1;
        case Status::scanner_fatal:
        case Status::out_of_memory:
            return 2;
    }
    return -1;
}

std::string printed(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& d : diagnostics) text.append(d.message).push_back('\n');
    return text;
}

Outcome convert_bytes(std::string_view input, ParserLoop loop) {
    Outcome o;
    ConvertOptions options;
    options.loop = loop;
    o.result = convert(input, options);
    o.status = exit_status(o.result.status);
    o.output = o.result.output.str();
    o.diagnostics = printed(o.result.diagnostics);
    return o;
}

const char* name_of(BulkLoop loop) {
    switch (loop) {
        case BulkLoop::ssse3:
            return "SSSE3 bulk loop";
        case BulkLoop::sse2:
            return "SSE2 bulk loop";
        case BulkLoop::portable:
            break;
    }
    return "portable bulk loop";
}

std::string convert_text(std::string_view input) {
    return convert_bytes(input).output;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

const std::vector<const char*>& operator_keywords() {
    static const std::vector<const char*> keywords = {
        "if",        "ifdef",        "eval",     "var",           "random",      "macro",
        "macro_new", "switch",       "case",     "default",       "eq",          "start",
        "for",       "while",        "context",  "config",        "load",        "empty",
        "item",      "menu",         "table",    "form",          "number",      "query",
        "env",       "uri",          "header",   "counter",       "macro_use",   "macro_exists",
        "cmp",       "color",        "server",   "sql",           "locate",      "shift",
        "flip",      "sort",         "save",     "length",        "left",        "right",
        "mid",       "findstr",      "char",     "ascii",         "lsplit",      "rsplit",
        "toupper",   "tolower",      "truncate", "unescape_br",   "combine",     "browser",
        "mangle",    "cookie",       "exec",     "sendmail",      "uuencode",    "name",
        "-f",        "stat",         "find",     "index",         "download",    "upload",
        "unlink",    "include",      "match",    "optionset",     "optionclear", "optionand",
        "optionor",  "optioncount",  "date",     "loadtimestamp", "calendar",    "dateoffset",
        "imgsize",   "gif_template", "rem",      "process",       "level",       "optimize",
    };
    return keywords;
}

}  // namespace tvconv::test
