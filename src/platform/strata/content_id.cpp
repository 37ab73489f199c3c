#include "platform/strata/content_id.h"

#include <nettle/sha2.h>

#include <array>
#include <new>

namespace strata::blobstore {
namespace {

static_assert(sizeof(sha256_ctx) <= 128 && alignof(sha256_ctx) <= 8);

sha256_ctx* ctx_of(unsigned char* state) {
  return std::launder(reinterpret_cast<sha256_ctx*>(state));
}

}  // namespace

ContentHasher::ContentHasher() {
  sha256_init(new (state_) sha256_ctx);
}

void ContentHasher::update(ByteView bytes) {
  sha256_update(ctx_of(state_), bytes.size(), bytes.data());
}

std::string ContentHasher::finish() {
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  // Also resets the state for the next id.
  sha256_digest(ctx_of(state_), digest.size(), digest.data());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(kContentIdLength);
  for (std::uint8_t b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xf]);
  }
  return out;
}

std::string content_id_of(ByteView bytes) {
  ContentHasher hasher;
  hasher.update(bytes);
  return hasher.finish();
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
