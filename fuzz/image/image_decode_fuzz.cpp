// Arbitrary bytes through the image decoders. Besides crashes and sanitizer reports, a decoded
// picture must match its header's size and hold premultiplied pixels (no channel above alpha).
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/zarn_ui/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  // Smaller than the product's limits so that each input decodes quickly; the checks are the same.
  const zarn_ui::DecodeLimits limits{2048, 2048 * 2048};
  auto info = zarn_ui::probe_image(bytes);
  auto image = zarn_ui::decode_image(bytes, limits);
  if (!image) return 0;
  if (!info || info->width != image->width || info->height != image->height) __builtin_trap();
  if (!zarn_ui::validate_image(*image, limits)) __builtin_trap();
  for (std::uint32_t p : image->pixels) {
    const std::uint32_t a = p >> 24;
    if (((p >> 16) & 0xFF) > a || ((p >> 8) & 0xFF) > a || (p & 0xFF) > a) __builtin_trap();
  }
  return 0;
}
