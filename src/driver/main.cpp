// tvconv [INPUT [OUTPUT]]: converts one Tavrin 2 template to Tavrin 3.
//
// Exit status: 0 converted, 1 a file could not be opened or written, or the
// input has a syntax error or nests too deeply; 2 the input could not be
// read, or memory ran out.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/convert.h"
#include "text/text.h"

namespace {

int fail(const char* name, int error) {
    std::fprintf(stderr, "tvconv: %s: %s\n", name, std::strerror(error));
    return 1;
}

// One write per line: standard error is unbuffered, and a reader (or a file
// shared with standard output) must never see half a line.
void print(const tvconv::Diagnostic& d) {
    std::string line = d.message + '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// Whether `path` names the regular file that `in` reads (same device and
// inode, whatever path or link leads there).
bool same_file(std::FILE* in, const char* path) {
    struct stat a, b;
    if (::fstat(::fileno(in), &a) != 0 || ::stat(path, &b) != 0) return false;
    return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// "--help" and "--version" ask for the usage or the version, unless a file
// of that name exists: tvconv has no options, and a file is converted
// whatever its name.
bool asks_for(const char* arg, const char* option) {
    struct stat st;
    return std::strcmp(arg, option) == 0 && ::stat(arg, &st) != 0 && errno == ENOENT;
}

constexpr char kUsage[] =
    "usage: tvconv [INPUT [OUTPUT]]\n"
    "\n"
    "Converts one Tavrin 2 template to Tavrin 3: INPUT (default: standard input)\n"
    "to OUTPUT (default: standard output). Reports go to standard error. There are\n"
    "no options: a file named --help or --version is converted. To convert a whole\n"
    "site, use tvconv-tree.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (asks_for(argv[1], "--help") || asks_for(argv[1], "--version"))) {
        std::fputs(argv[1][2] == 'h' ? kUsage : "tvconv " TVCONV_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::FILE* in = stdin;
    std::FILE* out = stdout;
    const char* out_name = "standard output";

    if (argc > 1) {
        in = std::fopen(argv[1], "r");
        if (!in) return fail(argv[1], errno);
    }
    if (argc > 2) {
        // Opening for writing truncates: refuse before that can destroy the
        // input.
        if (same_file(in, argv[2])) {
            std::fprintf(stderr, "tvconv: %s: input and output are the same file\n", argv[2]);
            return 1;
        }
        out = std::fopen(argv[2], "w");
        if (!out) return fail(argv[2], errno);
        out_name = argv[2];
    }

    // The document is held whole until it is written: its heap is faulted
    // in huge pages rather than page by page.
    tvconv::grow_heap_in_huge_pages();
    // Diagnostics are printed as the conversion meets them (a terminal sees
    // a line's at once); an error found after the whole document follows
    // the document.
    tvconv::ConvertOptions options;
    options.on_diagnostic = [](const tvconv::Diagnostic& d, bool after_document) {
        if (!after_document) print(d);
    };
    tvconv::Result result = tvconv::convert(in, options);
    if (result.status == tvconv::Status::out_of_memory) print(result.diagnostics.back());
    if (result.status == tvconv::Status::scanner_fatal ||
        result.status == tvconv::Status::out_of_memory)
        return 2;
    // Whatever was written must have reached the file: a full disk or a
    // closed output is a failure, never a silent success. Written before an
    // error that follows the document, so that it follows it in a file that
    // both share too.
    int write_error = 0;
    errno = 0;
    if (!result.output.write(out) || std::fflush(out) != 0 || std::ferror(out))
        write_error = errno ? errno : EIO;
    for (std::size_t i = result.diagnostics_before_output; i < result.diagnostics.size(); ++i)
        print(result.diagnostics[i]);

    if (in != stdin) std::fclose(in);
    if (out != stdout && std::fclose(out) != 0 && !write_error) write_error = errno;
    if (write_error) return fail(out_name, write_error);
    return result.status == tvconv::Status::accepted ? 0 : 1;
}
