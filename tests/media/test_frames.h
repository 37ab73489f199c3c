// Helpers shared by the media tests: frame builders and a bounded wait for arrivals.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "media/media_frame.h"
#include "media/media_transport.h"

namespace chat::media::testing {

inline MediaFrame make_frame(std::string source, std::uint64_t sequence, std::size_t payload = 3,
                             MediaKind kind = MediaKind::Microphone) {
  MediaFrame f;
  f.source = std::move(source);
  f.sequence = sequence;
  f.kind = kind;
  f.timestamp = {sequence / 1000, static_cast<std::uint32_t>(sequence % 1000) * 1'000'000u};
  f.payload.resize(payload);
  for (std::size_t i = 0; i < payload; ++i) {
    f.payload[i] = static_cast<std::uint8_t>(sequence * 31 + i);
  }
  return f;
}

// Drains `t` until `want` frames arrived or the deadline passed; never waits forever.
inline std::vector<MediaFrame> drain_until(
    MediaTransport& t, std::size_t want,
    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  std::vector<MediaFrame> got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    auto batch = t.drain();
    if (batch.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (auto& f : batch) got.push_back(std::move(f));
  }
  return got;
}

// Polls `pred` until it holds or the deadline passes.
inline bool eventually(const std::function<bool()>& pred,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

}  // namespace chat::media::testing
