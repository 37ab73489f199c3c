// The user's signing identity: an Ed25519 key pair and a display name, kept in one small text
// file ($XDG_CONFIG_HOME/zarn/identity, else ~/.config/zarn/identity) readable by the owner only.
// load() checks the file strictly (format, hex, key pair consistency, permissions) and fails
// with a clear message; nothing is created behind the caller's back. Any thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/result.h"

// GNU dialects predefine `unix` as a macro; the namespace name below needs it gone.
#ifdef unix
#undef unix
#endif

namespace runtime_identity::unix {

inline constexpr std::size_t kPublicKeyBytes = 32;
inline constexpr std::size_t kSecretKeyBytes = 64;
// The name is one line of text; anything longer is not a display name.
inline constexpr std::size_t kMaxNameBytes = 256;

// Wiped from memory when it goes away.
struct SecretKey {
  std::array<std::uint8_t, kSecretKeyBytes> bytes{};

  SecretKey() = default;
  SecretKey(const SecretKey&) = default;
  SecretKey& operator=(const SecretKey&) = default;
  ~SecretKey();
};

struct Identity {
  std::array<std::uint8_t, kPublicKeyBytes> public_key{};
  SecretKey secret_key;  // libsodium layout: seed followed by the public key
  std::string name;
};

// Where the identity lives for this user; absent when no config directory resolves.
std::optional<std::filesystem::path> default_path();

// A fresh key pair with the given name (not saved). Fails for a name that is too long, is not
// UTF-8 or holds control characters.
zarn::Result<Identity> create(std::string name);

zarn::Result<Identity> load();
zarn::Result<Identity> load_from(const std::filesystem::path& path);

// Writes atomically with owner-only permissions, creating missing folders.
zarn::Result<void> save(const Identity& identity);
zarn::Result<void> save_to(const Identity& identity, const std::filesystem::path& path);

// The file's text form, and its strict reader (exposed for tools and tests).
std::string encode(const Identity& identity);
zarn::Result<Identity> decode(std::string_view text);

}  // namespace runtime_identity::unix
