// SHA-256 and base64, for the Content-Security-Policy hash of the HTML
// report's script. Written out here because nothing else needs a digest of
// this kind and no crypto library is linked; the unit tests hold its
// known answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tvconv::tree {

std::array<std::uint8_t, 32> sha256(std::string_view data);

// `n` bytes at `p` in base64 with padding (RFC 4648's alphabet).
std::string base64(const std::uint8_t* p, std::size_t n);

}  // namespace tvconv::tree
