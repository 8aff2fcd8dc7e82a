// The content hash that tells a changed file from an unchanged one: 128-bit
// XXH3, written as 32 hex digits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tree/error.h"

namespace tvconv::tree {

std::string content_hash(std::string_view bytes);

// The same hash, of bytes that come in pieces (a file too large to hold).
class ContentHasher {
  public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;
    void update(const char* data, std::size_t size);
    std::string digest() const;

  private:
    void* state_;
};

// Sets `hash` to the content hash of what the open file `fd` holds from its
// position on. Failures are "cannot read" on `path`.
Error content_hash_of(int fd, std::string& hash, const std::string& path = {});

// Lower-case hex digits of `n` bytes.
std::string hex(const unsigned char* bytes, std::size_t n);

}  // namespace tvconv::tree
