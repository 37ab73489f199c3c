#include "media/media_frame.h"

#include <cstring>

namespace chat::media {
namespace {

void put_le(std::uint8_t* out, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get_le(const std::uint8_t* in, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{in[i]} << (8 * i);
  return value;
}

}  // namespace

std::string_view media_kind_label(MediaKind kind) {
  switch (kind) {
    case MediaKind::Microphone:
      return "Microphone";
    case MediaKind::Camera:
      return "Camera";
    case MediaKind::ScreenShare:
      return "Screen sharing";
  }
  return "";
}

std::optional<MediaKind> media_kind_from_byte(std::uint8_t value) {
  if (value > static_cast<std::uint8_t>(MediaKind::ScreenShare)) return std::nullopt;
  return static_cast<MediaKind>(value);
}

std::optional<std::uint64_t> timestamp_millis(const MediaDuration& timestamp) {
  std::uint64_t millis = 0;
  if (__builtin_mul_overflow(timestamp.seconds, std::uint64_t{1000}, &millis)) return std::nullopt;
  if (__builtin_add_overflow(millis, std::uint64_t{timestamp.nanos / 1'000'000u}, &millis)) {
    return std::nullopt;
  }
  return millis;
}

bool is_valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < len) return false;
    for (std::size_t i = 1; i < len; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values past Unicode are not UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    p += len;
  }
  return true;
}

bool is_valid(const MediaFrame& frame) {
  return !frame.source.empty() && frame.source.size() <= kMaxSourceBytes &&
         frame.payload.size() <= kMaxPayloadBytes && timestamp_millis(frame.timestamp) &&
         is_valid_utf8(frame.source);
}

std::size_t encoded_size(const MediaFrame& frame) {
  return kFrameHeaderBytes + frame.source.size() + frame.payload.size();
}

void append_encoded_frame(std::vector<std::uint8_t>& out, const MediaFrame& frame) {
  const std::size_t n = frame.source.size();
  const std::size_t m = frame.payload.size();
  // The header and source go through a small stack buffer, the payload is appended by one
  // range insert: no zero-filling of the (up to 2 MiB) output before it is overwritten.
  std::uint8_t head[23 + kMaxSourceBytes];
  std::uint8_t* p = head;
  p[0] = static_cast<std::uint8_t>(frame.kind);
  put_le(p + 1, frame.sequence, 8);
  put_le(p + 9, timestamp_millis(frame.timestamp).value_or(0), 8);
  put_le(p + 17, n, 2);
  std::memcpy(p + 19, frame.source.data(), n);
  put_le(p + 19 + n, m, 4);
  out.insert(out.end(), head, head + 23 + n);
  out.insert(out.end(), frame.payload.begin(), frame.payload.end());
}

zarn::Result<std::vector<std::uint8_t>> encode_frame(const MediaFrame& frame) {
  if (!is_valid(frame)) return zarn::make_error("invalid media frame");
  std::vector<std::uint8_t> out;
  out.reserve(encoded_size(frame));
  append_encoded_frame(out, frame);
  return out;
}

std::optional<MediaFrame> decode_frame(std::span<const std::uint8_t> bytes) {
  const std::size_t len = bytes.size();
  if (len == 0) return std::nullopt;
  const auto kind = media_kind_from_byte(bytes[0]);
  if (!kind || len < 19) return std::nullopt;
  const std::uint8_t* p = bytes.data();
  const std::size_t n = get_le(p + 17, 2);
  if (n == 0 || n > kMaxSourceBytes || 19 + n > len) return std::nullopt;
  std::string_view source(reinterpret_cast<const char*>(p + 19), n);
  if (!is_valid_utf8(source) || 23 + n > len) return std::nullopt;
  const std::size_t m = get_le(p + 19 + n, 4);
  if (m > kMaxPayloadBytes || 23 + n + m != len) return std::nullopt;

  MediaFrame frame;
  frame.kind = *kind;
  frame.sequence = get_le(p + 1, 8);
  const std::uint64_t millis = get_le(p + 9, 8);
  frame.timestamp = {millis / 1000, static_cast<std::uint32_t>(millis % 1000) * 1'000'000u};
  frame.source.assign(source);
  frame.payload.assign(p + 23 + n, p + 23 + n + m);
  if (!is_valid(frame)) return std::nullopt;
  return frame;
}

}  // namespace chat::media
