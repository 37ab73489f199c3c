// MediaProtocol: the accept-router entry for ALPN "zarn-chat-media/0". For each accepted
// connection it reads length-prefixed frames from the first unidirectional stream and offers
// them to the incoming queue without waiting (a full queue drops the newest frame). Runs on the
// endpoint's strand.
#pragma once

#include <memory>
#include <string_view>

#include "media/bounded_queue.h"
#include "media/media_frame.h"
#include "platform/p2p/connection.h"

namespace chat::media {

inline constexpr std::string_view kMediaAlpn = "zarn-chat-media/0";

using FrameQueue = BoundedQueue<MediaFrame>;

class MediaProtocol final : public p2p::ProtocolHandler {
 public:
  explicit MediaProtocol(std::shared_ptr<FrameQueue> incoming) : incoming_(std::move(incoming)) {}
  std::unique_ptr<p2p::StreamHandler> accept(const std::shared_ptr<p2p::Connection>& conn) override;

 private:
  std::shared_ptr<FrameQueue> incoming_;
};

}  // namespace chat::media
