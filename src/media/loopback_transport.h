// LoopbackTransport: the transport without a network. Every valid frame sent is handed back by
// the next drain, up to 128 waiting frames. UI thread only.
#pragma once

#include <deque>

#include "media/media_transport.h"

namespace chat::media {

inline constexpr std::string_view kLoopbackTicket = "sim://local";

class LoopbackTransport final : public MediaTransport {
 public:
  bool is_peer_to_peer() const override { return false; }
  std::string ticket() const override { return std::string(kLoopbackTicket); }
  bool connect(const std::string&) override { return true; }
  void publish(MediaKind kind) override { add_published(published_, kind); }
  void unpublish(MediaKind kind) override { remove_published(published_, kind); }
  void subscribe(const std::string& source, MediaKind kind) override {
    add_subscription(subscriptions_, source, kind);
  }
  bool send(const MediaFrame& frame) override;
  std::vector<MediaFrame> drain() override;

 private:
  std::deque<MediaFrame> queue_;
};

}  // namespace chat::media
