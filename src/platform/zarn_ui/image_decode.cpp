#include "platform/zarn_ui/image_decode.h"

#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <webp/decode.h>

namespace zarn_ui {
namespace {

// stb's working memory goes through a per-thread budget so that a small picture wrapping a
// compression bomb cannot grow its inflate buffer without end; the count also feeds DecodeStats.
struct StbBudget {
  bool active = false;
  std::size_t used = 0;
  std::size_t limit = 0;
};
thread_local StbBudget tls_budget;

void* budget_malloc(std::size_t size) {
  StbBudget& b = tls_budget;
  if (b.active) {
    if (size > b.limit - b.used) return nullptr;
    b.used += size;
  }
  // Zeroed, because this stb leaves some decoder state unset when a file omits it (a JPEG scan
  // naming a Huffman table never defined) and would read it as it found it.
  return std::calloc(1, size);
}

void* budget_realloc(void* p, std::size_t old_size, std::size_t new_size) {
  StbBudget& b = tls_budget;
  if (b.active && new_size > old_size) {
    const std::size_t grow = new_size - old_size;
    if (grow > b.limit - b.used) return nullptr;
    b.used += grow;
  }
  return std::realloc(p, new_size);
}

}  // namespace
}  // namespace zarn_ui

// Only the four formats we accept: stb's other loaders (TGA has no signature at all) would
// widen what arbitrary bytes can reach.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_MAX_DIMENSIONS 65535
#define STBI_MALLOC(sz) ::zarn_ui::budget_malloc(sz)
#define STBI_REALLOC_SIZED(p, oldsz, newsz) ::zarn_ui::budget_realloc(p, oldsz, newsz)
#define STBI_FREE(p) std::free(p)
#include <stb/stb_image.h>

namespace zarn_ui {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Working memory stb may use per output pixel: the inflate buffer, 16-bit intermediates,
// interlace passes, and the RGBA copy together stay well under this.
constexpr std::size_t kStbBytesPerPixel = 48;
constexpr std::size_t kStbFixedBytes = std::size_t{16} << 20;

class BudgetScope {
 public:
  explicit BudgetScope(std::size_t limit) { tls_budget = StbBudget{true, 0, limit}; }
  ~BudgetScope() { tls_budget = StbBudget{}; }
  BudgetScope(const BudgetScope&) = delete;
  BudgetScope& operator=(const BudgetScope&) = delete;
  std::size_t used() const { return tls_budget.used; }
};

std::uint16_t le16(Bytes b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t le32(Bytes b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

bool starts_with(Bytes b, std::string_view sig, std::size_t at = 0) {
  return b.size() >= at + sig.size() && std::memcmp(b.data() + at, sig.data(), sig.size()) == 0;
}

// This stb fills a fixed 257-entry array from a Huffman table's code counts without checking
// that they add up to at most 256, so such tables are refused before it sees them. Segments are
// walked by length, so table-like bytes inside other segments are not mistaken for one.
bool jpeg_huffman_tables_fit(Bytes b) {
  const std::size_t n = b.size();
  auto at = [&](std::size_t q) -> std::size_t { return q < n ? b[q] : 0; };
  std::size_t i = 2;
  while (i + 1 < n) {
    if (b[i] != 0xFF) {
      ++i;  // entropy-coded data
      continue;
    }
    const std::uint8_t marker = b[i + 1];
    if (marker == 0xFF) {
      ++i;
      continue;
    }
    if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
      i += 2;
      continue;
    }
    if (marker == 0xD9) break;
    const std::size_t len = (at(i + 2) << 8) | at(i + 3);
    if (marker == 0xC4) {
      // Read the way the decoder reads: table after table until the declared length is spent.
      std::ptrdiff_t left = static_cast<std::ptrdiff_t>(len) - 2;
      std::size_t p = i + 4;
      while (left > 0) {
        ++p;  // table class and id
        std::size_t count = 0;
        for (int k = 0; k < 16; ++k) count += at(p++);
        if (count > 256) return false;
        p += count;
        left -= static_cast<std::ptrdiff_t>(17 + count);
      }
    }
    i += 2 + len;
  }
  return true;
}

bool gif_skip_sub_blocks(Bytes b, std::size_t& i) {
  while (i < b.size()) {
    const std::size_t len = b[i++];
    if (len == 0) return true;
    if (len > b.size() - i) return false;
    i += len;
  }
  return false;
}

// stb reads zeros past the end of a GIF, so the first frame's blocks must all be present.
bool gif_first_frame_complete(Bytes b) {
  std::size_t i = 13;
  if (b.size() < i) return false;
  if (b[10] & 0x80) i += 3u * (2u << (b[10] & 7));
  while (i < b.size()) {
    const std::uint8_t block = b[i++];
    if (block == 0x21) {
      if (i >= b.size()) return false;
      ++i;  // extension label
      if (!gif_skip_sub_blocks(b, i)) return false;
    } else if (block == 0x2C) {
      if (b.size() - i < 9) return false;
      const std::uint8_t flags = b[i + 8];
      i += 9;
      if (flags & 0x80) i += 3u * (2u << (flags & 7));
      if (i >= b.size()) return false;
      ++i;  // LZW minimum code size
      return gif_skip_sub_blocks(b, i);
    } else {
      return false;  // trailer before any frame, or not a block at all
    }
  }
  return false;
}

// stb also zero-fills a short BMP; uncompressed pixel rows must fit inside the file.
bool bmp_pixels_present(Bytes b, int width, int height) {
  if (b.size() < 30) return false;
  const std::uint64_t offset = le32(b, 10);
  const std::uint32_t header_size = le32(b, 14);
  std::uint64_t bpp = 0;
  std::uint32_t compression = 0;
  if (header_size == 12) {
    bpp = le16(b, 24);
  } else {
    if (b.size() < 34) return false;
    bpp = le16(b, 28);
    compression = le32(b, 30);
  }
  // stb refuses RLE itself; bit-field and plain layouts have fixed-size rows.
  if (compression != 0 && compression != 3) return true;
  const std::uint64_t row = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4;
  return offset + row * static_cast<std::uint64_t>(height) <= b.size();
}

zarn::Result<void> check_limits(const ImageInfo& info, const DecodeLimits& limits) {
  if (info.width <= 0 || info.height <= 0) return zarn::make_error("image has no pixels");
  const std::int64_t pixels = std::int64_t{info.width} * info.height;
  if (info.width > limits.max_side || info.height > limits.max_side || pixels > limits.max_pixels) {
    return zarn::make_error("image too large: " + std::to_string(info.width) + "x" +
                            std::to_string(info.height));
  }
  return zarn::ok();
}

std::uint32_t premultiply(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
  if (a != 255) {
    r = (r * a + 127) / 255;
    g = (g * a + 127) / 255;
    b = (b * a + 127) / 255;
  }
  return (a << 24) | (r << 16) | (g << 8) | b;
}

zarn::Result<Image> decode_with_stb(Bytes bytes, const ImageInfo& info, DecodeStats* stats) {
  const std::size_t pixels = static_cast<std::size_t>(info.width) * info.height;
  BudgetScope budget(pixels * kStbBytesPerPixel + kStbFixedBytes);
  int w = 0;
  int h = 0;
  int channels = 0;
  stbi_uc* rgba =
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
  if (stats) stats->bytes_allocated += budget.used();
  if (!rgba) {
    // stb's reason can name the format it tried last rather than this one; it is only a hint.
    return zarn::make_error("cannot decode " + std::string(format_name(info.format)) +
                            ": corrupt or truncated data (" + stbi_failure_reason() + ")");
  }
  if (w != info.width || h != info.height) {
    stbi_image_free(rgba);
    return zarn::make_error("image size differs from its header");
  }
  Image out;
  out.width = w;
  out.height = h;
  out.pixels.resize(pixels);
  if (stats) stats->bytes_allocated += pixels * sizeof(std::uint32_t);
  for (std::size_t p = 0; p < pixels; ++p) {
    const stbi_uc* s = rgba + p * 4;
    out.pixels[p] = premultiply(s[0], s[1], s[2], s[3]);
  }
  stbi_image_free(rgba);
  return out;
}

zarn::Result<Image> decode_webp(Bytes bytes, const ImageInfo& info, DecodeStats* stats) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return zarn::make_error("libwebp version mismatch");
  if (WebPGetFeatures(bytes.data(), bytes.size(), &config.input) != VP8_STATUS_OK) {
    return zarn::make_error("cannot decode WebP: bad header");
  }
  if (config.input.has_animation) return zarn::make_error("animated WebP is not supported");

  Image out;
  out.width = info.width;
  out.height = info.height;
  const std::size_t pixels = static_cast<std::size_t>(info.width) * info.height;
  out.pixels.resize(pixels);
  if (stats) stats->bytes_allocated += pixels * sizeof(std::uint32_t);

  // Premultiplied B,G,R,A bytes are the word 0xAARRGGBB on a little-endian machine.
  config.output.colorspace = std::endian::native == std::endian::little ? MODE_bgrA : MODE_Argb;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out.data();
  config.output.u.RGBA.stride = out.stride();
  config.output.u.RGBA.size = pixels * sizeof(std::uint32_t);
  const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) {
    return zarn::make_error(
        "cannot decode WebP: " +
        std::string(status == VP8_STATUS_NOT_ENOUGH_DATA ? "truncated data" : "corrupt data"));
  }
  return out;
}

}  // namespace

Image Image::blank(int width, int height) {
  Image image;
  image.width = width > 0 ? width : 0;
  image.height = height > 0 ? height : 0;
  image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0);
  return image;
}

std::string_view format_name(ImageFormat format) {
  switch (format) {
    case ImageFormat::Png:
      return "PNG";
    case ImageFormat::Jpeg:
      return "JPEG";
    case ImageFormat::Gif:
      return "GIF";
    case ImageFormat::Bmp:
      return "BMP";
    case ImageFormat::WebP:
      return "WebP";
    case ImageFormat::Unknown:
      break;
  }
  return "unknown format";
}

ImageFormat sniff_image_format(Bytes b) {
  if (starts_with(b, "\x89PNG\r\n\x1a\n")) return ImageFormat::Png;
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return ImageFormat::Jpeg;
  if (starts_with(b, "GIF87a") || starts_with(b, "GIF89a")) return ImageFormat::Gif;
  if (starts_with(b, "BM")) return ImageFormat::Bmp;
  if (starts_with(b, "RIFF") && starts_with(b, "WEBP", 8)) return ImageFormat::WebP;
  return ImageFormat::Unknown;
}

zarn::Result<ImageInfo> probe_image(Bytes bytes) {
  ImageInfo info;
  info.format = sniff_image_format(bytes);
  if (info.format == ImageFormat::Unknown) return zarn::make_error("not a supported image format");
  if (info.format == ImageFormat::WebP) {
    if (!WebPGetInfo(bytes.data(), bytes.size(), &info.width, &info.height)) {
      return zarn::make_error("cannot read WebP header");
    }
    return info;
  }
  // stb takes an int length; nothing legitimate comes near this.
  if (bytes.size() > static_cast<std::size_t>(INT_MAX))
    return zarn::make_error("image file too big");
  // stb's header reader already builds the Huffman tables it meets.
  if (info.format == ImageFormat::Jpeg && !jpeg_huffman_tables_fit(bytes)) {
    return zarn::make_error("cannot read JPEG header: corrupt Huffman table");
  }
  int comp = 0;
  if (!stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &info.width,
                             &info.height, &comp)) {
    return zarn::make_error("cannot read " + std::string(format_name(info.format)) +
                            " header: " + stbi_failure_reason());
  }
  // A negative BMP height means rows run top-down; stb reports it as stored.
  if (info.format == ImageFormat::Bmp && info.height < 0) {
    if (info.height == INT_MIN) return zarn::make_error("image too large");
    info.height = -info.height;
  }
  return info;
}

zarn::Result<Image> decode_image(Bytes bytes, const DecodeLimits& limits, DecodeStats* stats) {
  auto info = probe_image(bytes);
  if (!info) return std::move(info).take_error();
  ZARN_TRY(check_limits(*info, limits));
  switch (info->format) {
    case ImageFormat::WebP:
      return decode_webp(bytes, *info, stats);
    case ImageFormat::Gif:
      if (!gif_first_frame_complete(bytes)) {
        return zarn::make_error("cannot decode GIF: truncated data");
      }
      break;
    case ImageFormat::Bmp:
      if (!bmp_pixels_present(bytes, info->width, info->height)) {
        return zarn::make_error("cannot decode BMP: truncated data");
      }
      break;
    default:
      break;
  }
  return decode_with_stb(bytes, *info, stats);
}

zarn::Result<void> validate_image(const Image& image, const DecodeLimits& limits) {
  ZARN_TRY(check_limits(ImageInfo{ImageFormat::Unknown, image.width, image.height}, limits));
  if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
    return zarn::make_error("image pixel count does not match its size");
  }
  return zarn::ok();
}

}  // namespace zarn_ui
