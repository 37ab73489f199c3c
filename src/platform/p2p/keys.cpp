#include "platform/p2p/keys.h"

#include <sodium.h>

namespace p2p {

SecretKey generate_secret_key() {
  // Idempotent and thread-safe; randombytes works even when it reports failure.
  if (sodium_init() < 0) {
  }
  SecretKey key;
  randombytes_buf(key.seed.data(), key.seed.size());
  return key;
}

PublicKey public_key_of(const SecretKey& secret) {
  PublicKey pk;
  std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> sk{};
  crypto_sign_seed_keypair(pk.bytes.data(), sk.data(), secret.seed.data());
  sodium_memzero(sk.data(), sk.size());
  return pk;
}

std::string to_text(const PublicKey& key) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(64);
  for (std::uint8_t b : key.bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xF]);
  }
  return out;
}

std::optional<PublicKey> parse_public_key(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  PublicKey key;
  for (std::size_t i = 0; i < 32; ++i) {
    const int hi = nibble(text[2 * i]);
    const int lo = nibble(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    key.bytes[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return key;
}

}  // namespace p2p
