// Arbitrary text through the identity file reader. The file format has exactly one spelling per
// identity, so whatever decodes must encode back to the very same text, and that text must
// decode again to the same keys and name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/runtime_identity/identity.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace runtime_identity::unix;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto id = decode(text);
  if (!id) {
    if (id.error().empty()) __builtin_trap();
    return 0;
  }
  if (id->name.size() > kMaxNameBytes) __builtin_trap();

  const std::string again = encode(*id);
  if (again != text) __builtin_trap();
  auto back = decode(again);
  if (!back || back->name != id->name || back->public_key != id->public_key ||
      back->secret_key.bytes != id->secret_key.bytes) {
    __builtin_trap();
  }
  return 0;
}
