// Sender task for one peer: dials the peer's address with the media ALPN, opens one
// unidirectional stream and writes each encoded record from the peer queue, until the queue
// closes (then the stream is finished) or the connection fails (then the queue is closed, so the
// next send notices). While frames flow it polls the queue on a short timer; after a quiet spell
// it parks and the UI thread wakes it through the queue's doorbell, never through the runtime's
// locks. Runs on the endpoint's strand; spawn from the owning thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "media/bounded_queue.h"
#include "media/byte_pool.h"
#include "platform/base/result.h"
#include "platform/p2p/endpoint.h"

namespace asio {
class io_context;
}

namespace chat::media {

// Each item is one length-prefixed record, shared by every peer queue it was offered to.
using PeerQueue = BoundedQueue<SharedBytes>;

// Unacknowledged bytes on the stream beyond which the sender stops taking frames, so that a slow
// peer fills its queue (and drops) instead of growing memory.
inline constexpr std::uint64_t kSendWindowBytes = 1u << 20;

// The endpoint as sender tasks reach it from the runtime's threads. The owner detaches it before
// destroying the endpoint, so a wake-up racing with shutdown finds nothing instead of a dead
// endpoint. Workers and the owner share the lock; the UI thread's send and drain never take it.
class EndpointLink {
 public:
  EndpointLink(p2p::Endpoint& endpoint, asio::io_context& io) : endpoint_(&endpoint), io_(io) {}

  // Runs `fn` on the endpoint's strand; false once detached.
  bool post(std::function<void()> fn);
  bool dial(p2p::EndpointAddr to, std::string alpn, p2p::Endpoint::DialCallback done);
  void detach();
  asio::io_context& io() { return io_; }

 private:
  std::mutex mu_;
  p2p::Endpoint* endpoint_;
  asio::io_context& io_;
};

// A started sender as its owner sees it.
class PeerSenderTask {
 public:
  virtual ~PeerSenderTask() = default;
  // On the strand: writes what is still queued and, once the queue is closed, finishes the
  // stream. The owner runs it at shutdown so that streams end cleanly before the endpoint goes.
  virtual void flush() = 0;
};

// Fails only when the doorbell cannot be made; then nothing was started.
zarn::Result<std::weak_ptr<PeerSenderTask>> spawn_peer_sender(
    const std::shared_ptr<EndpointLink>& link, p2p::EndpointAddr addr,
    std::shared_ptr<PeerQueue> queue);

}  // namespace chat::media
