#include "platform/strata/sniff.h"

#include <cstring>

namespace strata::blobstore {
namespace {

// JPEG headers can carry large metadata segments before the frame header; looking further
// than this is not sniffing any more.
constexpr std::size_t kJpegScanLimit = 1 << 20;

bool has_prefix(ByteView b, std::string_view magic, std::size_t at = 0) {
  return b.size() >= at + magic.size() &&
         std::memcmp(b.data() + at, magic.data(), magic.size()) == 0;
}

std::uint32_t be16(ByteView b, std::size_t at) {
  return (std::uint32_t{b[at]} << 8) | b[at + 1];
}
std::uint32_t le16(ByteView b, std::size_t at) {
  return b[at] | (std::uint32_t{b[at + 1]} << 8);
}
std::uint32_t le24(ByteView b, std::size_t at) {
  return le16(b, at) | (std::uint32_t{b[at + 2]} << 16);
}
std::uint32_t be32(ByteView b, std::size_t at) {
  return (be16(b, at) << 16) | be16(b, at + 2);
}
std::uint32_t le32(ByteView b, std::size_t at) {
  return le16(b, at) | (le16(b, at + 2) << 16);
}

Sniffed picture(PictureKind kind, std::uint32_t w, std::uint32_t h) {
  if (w == 0 || h == 0) return {};
  return {kind, w, h};
}

Sniffed sniff_png(ByteView b) {
  // Signature, then the IHDR chunk must come first: length 13, type, width, height.
  if (b.size() < 24 || !has_prefix(b, "\x89PNG\r\n\x1a\n") || !has_prefix(b, "IHDR", 12)) return {};
  std::uint32_t w = be32(b, 16), h = be32(b, 20);
  // Dimensions are limited to 2^31-1 by the format; larger values are garbage.
  if (w > 0x7fffffffu || h > 0x7fffffffu) return {};
  return picture(PictureKind::Png, w, h);
}

Sniffed sniff_gif(ByteView b) {
  if (b.size() < 10 || !(has_prefix(b, "GIF87a") || has_prefix(b, "GIF89a"))) return {};
  return picture(PictureKind::Gif, le16(b, 6), le16(b, 8));
}

Sniffed sniff_jpeg(ByteView b) {
  if (b.size() < 4 || b[0] != 0xff || b[1] != 0xd8) return {};
  std::size_t pos = 2;
  const std::size_t end = b.size() < kJpegScanLimit ? b.size() : kJpegScanLimit;
  while (pos + 1 < end) {
    if (b[pos] != 0xff) return {};
    std::uint8_t marker = b[pos + 1];
    if (marker == 0xff) {  // fill byte before a marker
      ++pos;
      continue;
    }
    pos += 2;
    // Markers without a length field.
    if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) continue;
    if (marker == 0xd9 || marker == 0xda) return {};  // end of image or scan before any frame
    if (pos + 2 > end) return {};
    std::uint32_t len = be16(b, pos);
    if (len < 2) return {};
    bool frame =
        marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
    if (frame) {
      // length(2) precision(1) height(2) width(2)
      if (len < 7 || pos + 7 > end) return {};
      return picture(PictureKind::Jpeg, be16(b, pos + 5), be16(b, pos + 3));
    }
    pos += len;
  }
  return {};
}

Sniffed sniff_webp(ByteView b) {
  if (b.size() < 16 || !has_prefix(b, "RIFF") || !has_prefix(b, "WEBP", 8)) return {};
  if (has_prefix(b, "VP8 ", 12)) {
    // Chunk data: 3-byte frame tag, start code, 14-bit width and height (2 scale bits on top).
    if (b.size() < 30 || b[23] != 0x9d || b[24] != 0x01 || b[25] != 0x2a) return {};
    if (b[20] & 0x01) return {};  // an inter frame cannot start a still picture
    return picture(PictureKind::Webp, le16(b, 26) & 0x3fff, le16(b, 28) & 0x3fff);
  }
  if (has_prefix(b, "VP8L", 12)) {
    if (b.size() < 25 || b[20] != 0x2f) return {};
    std::uint32_t bits = le32(b, 21);
    if ((bits >> 29) != 0) return {};  // version must be 0
    return picture(PictureKind::Webp, (bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1);
  }
  if (has_prefix(b, "VP8X", 12)) {
    if (b.size() < 30) return {};
    return picture(PictureKind::Webp, le24(b, 24) + 1, le24(b, 27) + 1);
  }
  return {};
}

Sniffed sniff_bmp(ByteView b) {
  if (b.size() < 18 || !has_prefix(b, "BM")) return {};
  std::uint32_t header = le32(b, 14);
  if (header == 12) {  // OS/2 core header: unsigned 16-bit sizes
    if (b.size() < 22) return {};
    return picture(PictureKind::Bmp, le16(b, 18), le16(b, 20));
  }
  if (header < 40 || header > 124 || b.size() < 26) return {};
  auto w = static_cast<std::int32_t>(le32(b, 18));
  auto h = static_cast<std::int32_t>(le32(b, 22));
  // A negative height marks a top-down picture; a negative width is malformed.
  if (w <= 0 || h == 0 || h == INT32_MIN) return {};
  return picture(PictureKind::Bmp, static_cast<std::uint32_t>(w),
                 static_cast<std::uint32_t>(h < 0 ? -h : h));
}

}  // namespace

Sniffed sniff(ByteView bytes) {
  if (bytes.size() < 2) return {};
  switch (bytes[0]) {
    case 0x89:
      return sniff_png(bytes);
    case 0xff:
      return sniff_jpeg(bytes);
    case 'G':
      return sniff_gif(bytes);
    case 'R':
      return sniff_webp(bytes);
    case 'B':
      return sniff_bmp(bytes);
    default:
      return {};
  }
}

std::string_view mime_type(PictureKind kind) {
  switch (kind) {
    case PictureKind::Png:
      return "image/png";
    case PictureKind::Jpeg:
      return "image/jpeg";
    case PictureKind::Gif:
      return "image/gif";
    case PictureKind::Webp:
      return "image/webp";
    case PictureKind::Bmp:
      return "image/bmp";
    case PictureKind::None:
      break;
  }
  return "application/octet-stream";
}

}  // namespace strata::blobstore
