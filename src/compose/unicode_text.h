// Character classes and lower-casing for UTF-8 text, independent of the process locale (a
// Turkish locale must not change how names match). Lower-casing follows Unicode's full mapping:
// simple mappings, "İ" to "i̇" and the word-final sigma. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace chat::compose {

struct LowerCased {
  std::string text;
  // Every character kept its byte length, so byte offsets into `text` are offsets into the
  // original as well.
  bool aligned = true;
};

// Absent when `utf8` is not valid UTF-8.
std::optional<LowerCased> lower_case(std::string_view utf8);

// White_Space: the separators, the ASCII controls \t \n \v \f \r, and NEL.
bool is_white_space(char32_t c);
// Letters and numbers of any script; combining marks count too, since they belong to the
// letter before them.
bool is_letter_or_digit(char32_t c);

// The character starting at byte `at`, or absent at the end or on a malformed sequence.
std::optional<char32_t> char_at(std::string_view utf8, std::size_t at);
// The character ending right before byte `end`, or absent at the start or on malformed bytes.
std::optional<char32_t> char_before(std::string_view utf8, std::size_t end);

// `bytes` with every malformed sequence replaced by U+FFFD.
std::string valid_utf8(std::string_view bytes);

}  // namespace chat::compose
