// Arbitrary text through the content-id check that guards every path built from an id: it must
// accept exactly the 64-digit hexadecimal strings, answer with their lower-case form, and agree
// with the ids the store mints itself (the input's own hash must pass unchanged, in either case).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/strata/content_id.h"

namespace {

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char lower(char c) {
  return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace strata::blobstore;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  bool well_formed = text.size() == kContentIdLength;
  std::string expected;
  for (char c : text) {
    well_formed = well_formed && is_hex(c);
    expected.push_back(lower(c));
  }

  const auto normal = normalize_content_id(text);
  if (normal.has_value() != well_formed) __builtin_trap();
  if (normal) {
    if (*normal != expected) __builtin_trap();
    if (normalize_content_id(*normal) != normal) __builtin_trap();
  }

  const std::string id = content_id_of({data, size});
  if (normalize_content_id(id) != id) __builtin_trap();
  std::string upper = id;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  if (normalize_content_id(upper) != id) __builtin_trap();
  return 0;
}
