// libFuzzer target: converts arbitrary bytes twice, in process, and checks
// the properties of fuzz/properties.h; a third conversion with bison's own
// parse loop must give the same as ours (whose plain-text fast path takes
// runs of bytes straight from the scanner's buffer). The second conversion
// reads the input in blocks of TVCONV_FUZZ_READ_BLOCK bytes (from the
// environment; fuzz/properties.h has the default), so that the boundaries
// between reads fall inside the input. Any violation aborts, so libFuzzer
// keeps the input as a crash artifact.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "properties.h"

namespace {

std::size_t read_block = tvconv::fuzz::kSmallReads;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* s = std::getenv("TVCONV_FUZZ_READ_BLOCK")) {
        char* end = nullptr;
        unsigned long n = std::strtoul(s, &end, 10);
        if (end == s || *end != '\0' || n == 0) {
            std::fprintf(stderr, "tvconv_fuzz: TVCONV_FUZZ_READ_BLOCK=%s is not a size\n", s);
            std::exit(2);
        }
        read_block = n;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string problem = tvconv::fuzz::check_input(input, read_block);
    if (!problem.empty()) {
        std::fprintf(stderr, "tvconv_fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
