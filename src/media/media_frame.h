// MediaFrame: the unit that capture, transport and playback exchange, and its byte layout.
// Encoding writes exactly 23 + n + m bytes; decoding accepts only that exact layout and returns
// nothing for anything else. Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"

namespace chat::media {

enum class MediaKind : std::uint8_t { Microphone = 0, Camera = 1, ScreenShare = 2 };

std::string_view media_kind_label(MediaKind kind);
std::optional<MediaKind> media_kind_from_byte(std::uint8_t value);

// Whole seconds plus nanoseconds below one second. Only whole milliseconds reach the wire.
struct MediaDuration {
  std::uint64_t seconds = 0;
  std::uint32_t nanos = 0;

  friend bool operator==(const MediaDuration&, const MediaDuration&) = default;
};

struct MediaFrame {
  std::string source;
  std::vector<std::uint8_t> payload;
  MediaDuration timestamp;
  std::uint64_t sequence = 0;
  MediaKind kind = MediaKind::Microphone;

  friend bool operator==(const MediaFrame&, const MediaFrame&) = default;
};

inline constexpr std::size_t kMaxSourceBytes = 256;
inline constexpr std::size_t kMaxPayloadBytes = 2'097'152;
inline constexpr std::size_t kFrameHeaderBytes = 23;
inline constexpr std::size_t kMaxEncodedFrameBytes =
    kFrameHeaderBytes + kMaxSourceBytes + kMaxPayloadBytes;

// The timestamp in whole milliseconds, or nothing when that does not fit in 64 bits.
std::optional<std::uint64_t> timestamp_millis(const MediaDuration& timestamp);

bool is_valid_utf8(std::string_view text);

// Source of 1..256 bytes of valid UTF-8, payload within the media limit, timestamp representable
// in milliseconds. UTF-8 is checked here too, so that nothing is sent that a receiver must drop.
bool is_valid(const MediaFrame& frame);

std::size_t encoded_size(const MediaFrame& frame);

// Fails for invalid frames; they never reach the wire.
zarn::Result<std::vector<std::uint8_t>> encode_frame(const MediaFrame& frame);
// Appends the encoding of `frame`, which the caller has checked with is_valid.
void append_encoded_frame(std::vector<std::uint8_t>& out, const MediaFrame& frame);

std::optional<MediaFrame> decode_frame(std::span<const std::uint8_t> bytes);

}  // namespace chat::media
