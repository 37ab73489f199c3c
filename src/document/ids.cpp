#include "document/ids.h"

#include <sodium.h>

#include <array>
#include <cstdint>

#include "document/access.h"

namespace chat::document {

std::string mint_id(std::string_view prefix) {
  // Safe to call repeatedly and from any thread; randombytes needs it once per process.
  if (sodium_init() < 0) stop("randomness unavailable");
  std::array<std::uint8_t, 16> b{};
  randombytes_buf(b.data(), b.size());
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id(prefix);
  for (std::uint8_t byte : b) {
    id += kHex[byte >> 4];
    id += kHex[byte & 0x0F];
  }
  return id;
}

}  // namespace chat::document
