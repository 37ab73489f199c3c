// Content ids: the SHA-256 of a blob's bytes written as 64 lower-case hexadecimal digits.
// An id is the only thing that ever names a file in a store, so every id from outside is checked
// with normalize_content_id before a path is built from it. Pure functions, and a hasher object
// owned by one thread at a time; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace strata::blobstore {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline constexpr std::size_t kContentIdLength = 64;

std::string content_id_of(ByteView bytes);

// The content id of bytes fed in pieces: the same id content_id_of gives for all of them in one.
class ContentHasher {
 public:
  ContentHasher();
  void update(ByteView bytes);
  // The id of everything fed since construction or the last finish; starts over afterwards.
  std::string finish();

 private:
  // The hash state, kept opaque so users need not see the crypto library's headers.
  alignas(8) unsigned char state_[128];
};

// The lower-case form of a 64-digit hexadecimal id (either case accepted), or absent for
// anything else: wrong length, separators, "..", non-hex characters.
std::optional<std::string> normalize_content_id(std::string_view text);

}  // namespace strata::blobstore
