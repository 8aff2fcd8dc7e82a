// The conversions alone, for bench/tree.py: converts each file named on the
// command line with the core library, in this one process, and prints the
// CPU seconds the convert() calls took together (reading the files is not
// counted). What tvconv-tree spends beyond this sum is its own.
#include <time.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/convert.h"

namespace {

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    double total = 0;
    std::size_t output = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        double start = cpu_seconds();
        tvconv::Result r = tvconv::convert(std::string_view(bytes));
        total += cpu_seconds() - start;
        output += r.output.size();
    }
    std::printf("%.6f %zu\n", total, output);
    return 0;
}
