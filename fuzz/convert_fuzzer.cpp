// libFuzzer target: converts arbitrary bytes twice, in process, and checks
// the properties of fuzz/properties.h; a third conversion with bison's own
// parse loop must give the same as ours (whose plain-text fast path takes
// runs of bytes straight from the scanner's buffer). Any violation aborts,
// so libFuzzer keeps the input as a crash artifact.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string problem = tvconv::fuzz::check_input(input);
    if (!problem.empty()) {
        std::fprintf(stderr, "tvconv_fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
