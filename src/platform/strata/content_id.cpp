#include "platform/strata/content_id.h"

#include <sodium.h>

#include <array>
#include <cstdlib>

namespace strata::blobstore {

std::string content_id_of(ByteView bytes) {
  // sodium_init is idempotent and thread-safe; SHA-256 needs no more, but the call is cheap.
  if (sodium_init() < 0) std::abort();
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  crypto_hash_sha256(digest.data(), bytes.data(), bytes.size());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(kContentIdLength);
  for (unsigned char b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xf]);
  }
  return out;
}

std::optional<std::string> normalize_content_id(std::string_view text) {
  if (text.size() != kContentIdLength) return std::nullopt;
  std::string out(text);
  for (char& c : out) {
    if (c >= '0' && c <= '9') continue;
    if (c >= 'a' && c <= 'f') continue;
    if (c >= 'A' && c <= 'F') {
      c = static_cast<char>(c - 'A' + 'a');
      continue;
    }
    return std::nullopt;
  }
  return out;
}

}  // namespace strata::blobstore
