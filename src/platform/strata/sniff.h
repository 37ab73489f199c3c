// Picture sniffing: recognises PNG, JPEG, GIF, WebP and BMP from their headers alone and reports
// the picture's width and height. Never decodes pixels, never reads past the given bytes; a
// truncated, garbled or zero-sized header is reported as "not a picture". Pure; any thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/strata/content_id.h"

namespace strata::blobstore {

enum class PictureKind : std::uint8_t { None, Png, Jpeg, Gif, Webp, Bmp };

struct Sniffed {
  PictureKind kind = PictureKind::None;
  std::uint32_t width = 0;  // both 0 unless kind is a picture
  std::uint32_t height = 0;

  bool is_picture() const { return kind != PictureKind::None; }
  bool operator==(const Sniffed&) const = default;
};

Sniffed sniff(ByteView bytes);

// "image/png" and so on; "application/octet-stream" for None.
std::string_view mime_type(PictureKind kind);

}  // namespace strata::blobstore
