#include "tree/content_hash.h"

// Debian's libxxhash picks the widest vector unit at run time on x86 (twice
// the speed of the SSE2 code an inline build gets); the hashes are the same.
#if defined(__x86_64__) || defined(__i386__)
#include <xxh_x86dispatch.h>
#else
#include <xxhash.h>
#endif

#include <new>

#include "tree/io.h"

namespace tvconv::tree {

std::string hex(const unsigned char* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s(2 * n, '0');
    for (std::size_t i = 0; i < n; ++i) {
        s[2 * i] = kDigits[bytes[i] >> 4];
        s[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return s;
}

std::string content_hash(std::string_view bytes) {
    XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, h);
    return hex(c.digest, sizeof c.digest);
}

ContentHasher::ContentHasher() : state_(XXH3_createState()) {
    if (!state_) throw std::bad_alloc();
    XXH3_128bits_reset(static_cast<XXH3_state_t*>(state_));
}

ContentHasher::~ContentHasher() {
    XXH3_freeState(static_cast<XXH3_state_t*>(state_));
}

void ContentHasher::update(const char* data, std::size_t size) {
    XXH3_128bits_update(static_cast<XXH3_state_t*>(state_), data, size);
}

std::string ContentHasher::digest() const {
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, XXH3_128bits_digest(static_cast<XXH3_state_t*>(state_)));
    return hex(c.digest, sizeof c.digest);
}

Error content_hash_of(int fd, std::string& hash, const std::string& path) {
    ContentHasher hasher;
    Error error = read_pieces(fd, path, [&](std::string_view piece) {
        hasher.update(piece.data(), piece.size());
        return Error();
    });
    if (!error) hash = hasher.digest();
    return error;
}

}  // namespace tvconv::tree
