// Search text normalisation: valid UTF-8, diacritics removed, case-folded, composed. Indexed
// texts and queries pass through the same function so that "Élan" finds "elan".
// Pure; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn_ui::search::provider {

// Invalid UTF-8 sequences become U+FFFD rather than failing.
std::string normalize_text(std::string_view text);
// Unicode scalar values in valid UTF-8.
std::size_t scalar_count(std::string_view utf8);

}  // namespace zarn_ui::search::provider
