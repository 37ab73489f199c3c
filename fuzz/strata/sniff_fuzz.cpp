// Arbitrary bytes through the picture sniffer. Besides sanitizer reports (libFuzzer hands over
// a buffer of exactly `size` bytes, so any read past it is caught), a recognised picture must
// carry the magic of its kind, sizes its format can express, and keep its answer when more
// bytes follow: the sniffer looks at headers only.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/strata/sniff.h"

namespace {

using strata::blobstore::PictureKind;
using strata::blobstore::Sniffed;

bool starts_with(const std::uint8_t* data, std::size_t size, std::string_view magic,
                 std::size_t at = 0) {
  return size >= at + magic.size() && std::memcmp(data + at, magic.data(), magic.size()) == 0;
}

bool magic_matches(PictureKind kind, const std::uint8_t* data, std::size_t size) {
  switch (kind) {
    case PictureKind::Png:
      return starts_with(data, size, "\x89PNG\r\n\x1a\n");
    case PictureKind::Jpeg:
      return starts_with(data, size, "\xff\xd8");
    case PictureKind::Gif:
      return starts_with(data, size, "GIF87a") || starts_with(data, size, "GIF89a");
    case PictureKind::Webp:
      return starts_with(data, size, "RIFF") && starts_with(data, size, "WEBP", 8);
    case PictureKind::Bmp:
      return starts_with(data, size, "BM");
    case PictureKind::None:
      break;
  }
  return false;
}

// The largest side each format's header can state (PNG and BMP sizes are signed 32-bit).
std::uint32_t largest_side(PictureKind kind) {
  switch (kind) {
    case PictureKind::Png:
    case PictureKind::Bmp:
      return 0x7fffffffu;
    case PictureKind::Jpeg:
    case PictureKind::Gif:
      return 0xffffu;
    case PictureKind::Webp:
      return 1u << 24;
    case PictureKind::None:
      break;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace strata::blobstore;
  const Sniffed s = sniff({data, size});
  const std::string_view mime = mime_type(s.kind);

  if (!s.is_picture()) {
    if (s.width != 0 || s.height != 0 || mime != "application/octet-stream") __builtin_trap();
    return 0;
  }
  if (s.width == 0 || s.height == 0) __builtin_trap();
  if (s.width > largest_side(s.kind) || s.height > largest_side(s.kind)) __builtin_trap();
  if (!magic_matches(s.kind, data, size)) __builtin_trap();
  if (mime.substr(0, 6) != "image/") __builtin_trap();

  std::vector<std::uint8_t> longer(data, data + size);
  longer.insert(longer.end(), 64, 0xff);
  if (sniff(longer) != s) __builtin_trap();
  return 0;
}
