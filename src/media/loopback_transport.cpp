#include "media/loopback_transport.h"

namespace chat::media {

bool LoopbackTransport::send(const MediaFrame& frame) {
  if (!is_valid(frame) || queue_.size() >= kFrameQueueCapacity) return false;
  queue_.push_back(frame);
  return true;
}

std::vector<MediaFrame> LoopbackTransport::drain() {
  std::vector<MediaFrame> out;
  const std::size_t n = std::min(queue_.size(), kMaxDrainFrames);
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(std::move(queue_.front()));
    queue_.pop_front();
  }
  return out;
}

}  // namespace chat::media
