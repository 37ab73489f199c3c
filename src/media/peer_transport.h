// PeerTransport: media over peer-to-peer QUIC. Owns a 2-thread runtime and a bound endpoint;
// its ticket is the endpoint's address as JSON. Frames go to every connected peer through one
// lock-free bounded queue per peer; arrivals wait in one lock-free bounded incoming queue. Every
// operation is for the UI thread; send and drain share no lock with the workers, so neither
// waits for the network nor for a preempted worker (send allocates only when its buffer pool runs
// dry). Only create() blocks, while binding.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/byte_pool.h"
#include "media/media_protocol.h"
#include "media/media_transport.h"
#include "media/peer_sender.h"
#include "platform/base/result.h"
#include "platform/p2p/endpoint.h"
#include "platform/p2p/runtime.h"

namespace chat::media {

inline constexpr unsigned kRuntimeThreads = 2;
inline constexpr std::size_t kIdleEncodeBuffers = 16;

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
  std::shared_ptr<EndpointLink> link_;
  std::string ticket_;
  std::shared_ptr<FrameQueue> incoming_;
  struct Peer {
    std::shared_ptr<PeerQueue> queue;
    std::weak_ptr<PeerSenderTask> sender;
  };
  std::map<std::string, Peer> peers_;
  // Idle encode buffers; a few frames' worth covers the records in flight at a steady rate.
  BytePool pool_{kIdleEncodeBuffers};
};

}  // namespace chat::media
