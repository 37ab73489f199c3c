// Sender task for one peer: dials the peer's address with the media ALPN, opens one
// unidirectional stream and writes each encoded frame from the peer queue with its length
// prefix, until the queue closes (then the stream is finished) or the connection fails (then the
// queue is closed, so the next send notices). Runs on the endpoint's strand; spawn from any
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/bounded_queue.h"
#include "platform/p2p/endpoint.h"

namespace chat::media {

using PeerQueue = BoundedQueue<std::vector<std::uint8_t>>;

// Unacknowledged bytes on the stream beyond which the sender stops taking frames, so that a slow
// peer fills its queue (and drops) instead of growing memory.
inline constexpr std::uint64_t kSendWindowBytes = 1u << 20;

void spawn_peer_sender(p2p::Endpoint& endpoint, p2p::EndpointAddr addr,
                       std::shared_ptr<PeerQueue> queue);

}  // namespace chat::media
