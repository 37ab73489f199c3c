// Content ids: the SHA-256 of a blob's bytes written as 64 lower-case hexadecimal digits.
// An id is the only thing that ever names a file in a store, so every id from outside is checked
// with normalize_content_id before a path is built from it. Pure functions; any thread.
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

// The lower-case form of a 64-digit hexadecimal id (either case accepted), or absent for
// anything else: wrong length, separators, "..", non-hex characters.
std::optional<std::string> normalize_content_id(std::string_view text);

}  // namespace strata::blobstore
