// Image decoding for untrusted bytes: PNG, JPEG, GIF (first frame), BMP and still WebP, into
// premultiplied 32-bit pixels laid out as Cairo's CAIRO_FORMAT_ARGB32 expects. Dimensions are
// read from the header and checked against the limits before any pixel memory is allocated;
// malformed or truncated input gives an error value. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/base/result.h"

namespace zarn_ui {

// A decoded picture. Each pixel is one native-endian word 0xAARRGGBB with the colour
// premultiplied by alpha; rows are packed (stride = 4 × width), as Cairo's ARGB32 wants.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  // A transparent picture, for loaders that draw their own.
  static Image blank(int width, int height);
  int stride() const { return width * 4; }
  unsigned char* data() { return reinterpret_cast<unsigned char*>(pixels.data()); }
  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(pixels.data());
  }
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

struct DecodeLimits {
  int max_side = 16384;
  std::int64_t max_pixels = std::int64_t{64} * 1024 * 1024;
};

enum class ImageFormat { Unknown, Png, Jpeg, Gif, Bmp, WebP };

struct ImageInfo {
  ImageFormat format = ImageFormat::Unknown;
  int width = 0;
  int height = 0;
};

// What one decode cost; lets callers (and tests) see that a rejected header allocated nothing.
struct DecodeStats {
  std::size_t bytes_allocated = 0;  // decoder working memory plus the output buffer
};

std::string_view format_name(ImageFormat format);

// Recognises the format by its signature bytes alone.
ImageFormat sniff_image_format(std::span<const std::uint8_t> bytes);

// Reads the header only: format and dimensions. Allocates no pixel memory.
zarn::Result<ImageInfo> probe_image(std::span<const std::uint8_t> bytes);

// Fails when the dimensions are zero or beyond `limits`, when the format is not one of the five,
// or when the data is malformed or cut short.
zarn::Result<Image> decode_image(std::span<const std::uint8_t> bytes,
                                 const DecodeLimits& limits = {}, DecodeStats* stats = nullptr);

// Checks a picture that did not come from decode_image (a loader's own drawing).
zarn::Result<void> validate_image(const Image& image, const DecodeLimits& limits = {});

}  // namespace zarn_ui
