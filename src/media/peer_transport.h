// PeerTransport: media over peer-to-peer QUIC. Owns a 2-thread runtime and a bound endpoint;
// its ticket is the endpoint's address as JSON. Frames go to every connected peer through one
// bounded queue per peer; arrivals wait in one bounded incoming queue. Every operation is for
// the UI thread and only touches queues, so none waits for the network; only create() blocks,
// while binding.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/media_protocol.h"
#include "media/media_transport.h"
#include "media/peer_sender.h"
#include "platform/base/result.h"
#include "platform/p2p/endpoint.h"
#include "platform/p2p/runtime.h"

namespace chat::media {

inline constexpr unsigned kRuntimeThreads = 2;

class PeerTransport final : public MediaTransport {
 public:
  struct Options {
    std::string bind = "0.0.0.0:0";
    std::vector<std::string> advertise;
    std::optional<p2p::SecretKey> secret_key;  // unset: a fresh key per start
  };

  static zarn::Result<std::unique_ptr<PeerTransport>> create(Options options);
  // Closes the incoming queue and every peer queue, then the endpoint and the runtime.
  ~PeerTransport() override;

  bool is_peer_to_peer() const override { return true; }
  std::string ticket() const override { return ticket_; }
  bool connect(const std::string& ticket) override;
  void publish(MediaKind kind) override { add_published(published_, kind); }
  void unpublish(MediaKind kind) override { remove_published(published_, kind); }
  void subscribe(const std::string& source, MediaKind kind) override {
    add_subscription(subscriptions_, source, kind);
  }
  bool send(const MediaFrame& frame) override;
  std::vector<MediaFrame> drain() override;

  std::size_t peer_count() const { return peers_.size(); }
  // Frames arrived and not yet drained.
  std::size_t pending() const { return incoming_->size(); }

 private:
  PeerTransport() = default;

  std::unique_ptr<p2p::Runtime> runtime_;
  std::unique_ptr<p2p::Endpoint> endpoint_;
  std::string ticket_;
  std::shared_ptr<FrameQueue> incoming_;
  std::map<std::string, std::shared_ptr<PeerQueue>> peers_;
};

}  // namespace chat::media
