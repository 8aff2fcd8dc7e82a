#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver/conversion.h"

namespace tvconv::test {

namespace {

// A memory stream that collects everything written to it.
class Sink {
  public:
    Sink() : file_(open_memstream(&data_, &size_)) {
        if (!file_) throw std::runtime_error("open_memstream failed");
    }
    ~Sink() {
        if (file_) std::fclose(file_);
        std::free(data_);
    }
    std::FILE* file() { return file_; }
    std::string take() {
        std::fclose(file_);
        file_ = nullptr;
        return std::string(data_, size_);
    }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

}  // namespace

Outcome convert_bytes(std::string_view input, Engine engine) {
    // fmemopen refuses a zero size on some C libraries; an empty input reads
    // from a one-byte buffer that reports end of file at once instead.
    std::string buffer(input);
    std::FILE* in =
        input.empty() ? std::fopen("/dev/null", "r") : fmemopen(buffer.data(), buffer.size(), "r");
    if (!in) throw std::runtime_error("cannot open the input stream");
    Sink out, err;
    Outcome o;
    o.status = convert(in, out.file(), err.file(), engine);
    std::fclose(in);
    o.output = out.take();
    o.diagnostics = err.take();
    return o;
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
