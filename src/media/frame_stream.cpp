#include "media/frame_stream.h"

#include <array>

namespace chat::media {

std::string frame_too_large_error(std::uint64_t length) {
  return "media frame too large: " + std::to_string(length);
}

std::array<std::uint8_t, 4> stream_length_prefix(std::uint32_t length) {
  return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

void append_stream_record(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> record) {
  const auto prefix = stream_length_prefix(static_cast<std::uint32_t>(record.size()));
  out.insert(out.end(), prefix.begin(), prefix.end());
  out.insert(out.end(), record.begin(), record.end());
}

zarn::Result<void> encode_stream_record(const MediaFrame& frame, std::vector<std::uint8_t>& out) {
  out.clear();
  if (!is_valid(frame)) return zarn::make_error("invalid media frame");
  const std::size_t size = encoded_size(frame);
  out.reserve(4 + size);
  const auto prefix = stream_length_prefix(static_cast<std::uint32_t>(size));
  out.insert(out.end(), prefix.begin(), prefix.end());
  append_encoded_frame(out, frame);
  return zarn::ok();
}

void FrameStreamReader::feed(std::span<const std::uint8_t> bytes) {
  if (failed() || bytes.empty()) return;
  // Compact once the consumed prefix dominates, so the buffer stays near one record in size
  // without shifting bytes on every call.
  if (pos_ != 0 && pos_ >= buf_.size() / 2) {
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
  }
  buf_.insert(buf_.end(), bytes.begin(), bytes.end());
}

zarn::Result<std::optional<MediaFrame>> FrameStreamReader::next() {
  while (!failed()) {
    const std::size_t avail = buf_.size() - pos_;
    if (avail < 4) break;
    const std::uint8_t* p = buf_.data() + pos_;
    const std::uint32_t length = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                 std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    if (length > kMaxStreamRecordBytes) {
      error_ = frame_too_large_error(length);
      buf_.clear();
      buf_.shrink_to_fit();
      pos_ = 0;
      break;
    }
    if (avail - 4 < length) break;
    auto frame = decode_frame({p + 4, length});
    pos_ += 4 + std::size_t{length};
    if (pos_ == buf_.size()) {
      buf_.clear();
      pos_ = 0;
    }
    if (frame) return std::optional<MediaFrame>(std::move(*frame));
    ++dropped_;
  }
  if (failed()) return zarn::make_error(error_);
  return std::optional<MediaFrame>();
}

zarn::Result<void> FrameStreamReader::finish() const {
  if (failed()) return zarn::make_error(error_);
  if (buffered() != 0) return zarn::make_error("media stream ended inside a frame");
  return zarn::ok();
}

}  // namespace chat::media
