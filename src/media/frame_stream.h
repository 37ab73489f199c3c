// Stream framing for media streams: each record is a 4-byte little-endian length and that many
// bytes. FrameStreamReader reassembles records from arbitrary chunks, decodes them, drops
// malformed frames one by one and fails for good on an oversized length. One reader per stream;
// not thread-safe, owned by whichever thread reads the stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/media_frame.h"
#include "platform/base/result.h"

namespace chat::media {

// The largest record a receiver accepts; larger lengths end the stream.
inline constexpr std::size_t kMaxStreamRecordBytes = kMaxEncodedFrameBytes;

std::string frame_too_large_error(std::uint64_t length);

// Appends the 4-byte little-endian length of `record`, then `record`.
void append_stream_record(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> record);
std::array<std::uint8_t, 4> stream_length_prefix(std::uint32_t length);
// Replaces the contents of `out` with the length prefix and encoding of `frame`, reusing its
// capacity. Fails, leaving `out` empty, for an invalid frame.
zarn::Result<void> encode_stream_record(const MediaFrame& frame, std::vector<std::uint8_t>& out);

class FrameStreamReader {
 public:
  void feed(std::span<const std::uint8_t> bytes);

  // The next well-formed frame, or nothing when more bytes are needed. Malformed records are
  // skipped and counted. After an error every later call returns the same error.
  zarn::Result<std::optional<MediaFrame>> next();

  // For the end of the stream: an error when a record was cut short.
  zarn::Result<void> finish() const;

  bool failed() const { return !error_.empty(); }
  std::size_t dropped() const { return dropped_; }
  std::size_t buffered() const { return buf_.size() - pos_; }

 private:
  std::vector<std::uint8_t> buf_;
  std::size_t pos_ = 0;
  std::size_t dropped_ = 0;
  std::string error_;
};

}  // namespace chat::media
