// Endpoint identity: an Ed25519 key pair. The public key names the endpoint in addresses and
// tickets (64 lower-case hex digits); the secret key never leaves the process.
// Value types and pure functions; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace p2p {

struct PublicKey {
  std::array<std::uint8_t, 32> bytes{};
  friend bool operator==(const PublicKey&, const PublicKey&) = default;
};

// The 32-byte Ed25519 seed; the key pair is derived from it.
struct SecretKey {
  std::array<std::uint8_t, 32> seed{};
};

SecretKey generate_secret_key();
PublicKey public_key_of(const SecretKey& secret);

std::string to_text(const PublicKey& key);
std::optional<PublicKey> parse_public_key(std::string_view text);

}  // namespace p2p
