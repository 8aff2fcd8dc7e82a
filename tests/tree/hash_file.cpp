// hash_file FILE...: prints "HASH  FILE" for each file, HASH being the
// content hash tvconv-tree records (XXH3-128, canonical, 32 hex digits), so
// that a test can check a record against the files it claims.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::string bytes;
        if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in || in.bad()) {
            std::fprintf(stderr, "hash_file: cannot read %s\n", argv[i]);
            status = 1;
            continue;
        }
        XXH128_canonical_t c;
        XXH128_canonicalFromHash(&c, XXH3_128bits(bytes.data(), bytes.size()));
        for (unsigned char byte : c.digest) std::printf("%02x", byte);
        std::printf("  %s\n", argv[i]);
    }
    return std::fflush(stdout) == 0 ? status : 1;
}
