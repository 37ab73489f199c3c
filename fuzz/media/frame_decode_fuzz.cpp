// Feeds arbitrary bytes to the media frame decoder; whatever it accepts must be valid and
// re-encode to the same bytes.
#include <algorithm>
#include <cstdlib>

#include "media/media_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace chat::media;
  auto frame = decode_frame({data, size});
  if (!frame) return 0;
  if (!is_valid(*frame)) std::abort();
  auto again = encode_frame(*frame);
  if (!again || again->size() != size || !std::equal(again->begin(), again->end(), data)) {
    std::abort();
  }
  return 0;
}
