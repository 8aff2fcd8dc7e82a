// Replays the fuzz corpus (fuzz/corpus/) with the fuzz target's checks, so
// that every build, not only the clang fuzz build, keeps them. The input of
// a fuzz finding goes there too, under a name that says what it broke.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/properties.h"
#include "support.h"

namespace tvconv {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpus() {
    fs::path dir = fs::path(TVCONV_GOLDEN_DIR).parent_path().parent_path() / "fuzz" / "corpus";
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzCorpus, EveryEntryKeepsTheConversionProperties) {
    auto files = corpus();
    ASSERT_GT(files.size(), 100u);
    for (const fs::path& file : files) {
        const std::string input = test::read_file(file.string());
        // The fuzzer's reads, a read boundary after every byte, and reads
        // that end at odd places of longer inputs.
        for (std::size_t read_block : {fuzz::kSmallReads, std::size_t{1}, std::size_t{1021}})
            ASSERT_EQ(fuzz::check_input(input, read_block), "")
                << file << ", reads of " << read_block;
    }
}

}  // namespace
}  // namespace tvconv
