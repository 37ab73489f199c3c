#include "media/peer_transport.h"

#include <algorithm>

#include "media/frame_stream.h"

namespace chat::media {

zarn::Result<std::unique_ptr<PeerTransport>> PeerTransport::create(Options options) {
  std::unique_ptr<PeerTransport> t(new PeerTransport());
  auto runtime = p2p::Runtime::start(kRuntimeThreads);
  if (!runtime) return std::move(runtime).take_error();
  t->runtime_ = std::move(runtime).value();
  t->incoming_ = std::make_shared<FrameQueue>(kFrameQueueCapacity);

  p2p::EndpointConfig config;
  config.bind = std::move(options.bind);
  config.advertise = std::move(options.advertise);
  config.secret_key = options.secret_key;
  config.connection.max_incoming_uni_streams = 1;
  p2p::Router router;
  router.emplace(std::string(kMediaAlpn), std::make_shared<MediaProtocol>(t->incoming_));
  auto endpoint = p2p::Endpoint::bind(t->runtime_->io(), std::move(config), std::move(router));
  if (!endpoint) return std::move(endpoint).take_error();
  t->endpoint_ = std::move(endpoint).value();
  t->link_ = std::make_shared<EndpointLink>(*t->endpoint_, t->runtime_->io());
  t->ticket_ = p2p::to_json(t->endpoint_->addr());
  return t;
}

PeerTransport::~PeerTransport() {
  if (incoming_) incoming_->close();
  std::vector<std::weak_ptr<PeerSenderTask>> senders;
  for (auto& [ticket, peer] : peers_) {
    peer.queue->close();
    senders.push_back(peer.sender);
  }
  // Queued ahead of the endpoint's own shutdown on the same strand: every sender writes what is
  // left and finishes its stream before the connections close.
  if (endpoint_) {
    endpoint_->post([senders = std::move(senders)] {
      for (const auto& weak : senders) {
        if (auto sender = weak.lock()) sender->flush();
      }
    });
  }
  if (link_) link_->detach();
  endpoint_.reset();
  runtime_.reset();
}

bool PeerTransport::connect(const std::string& ticket) {
  if (ticket == ticket_) return false;
  if (peers_.contains(ticket)) return true;
  auto addr = p2p::parse_endpoint_addr(ticket);
  if (!addr) return false;
  auto queue = std::make_shared<PeerQueue>(kFrameQueueCapacity);
  auto sender = spawn_peer_sender(link_, std::move(addr).value(), queue);
  if (!sender) return false;
  peers_.emplace(ticket, Peer{std::move(queue), std::move(sender).value()});
  return true;
}

bool PeerTransport::send(const MediaFrame& frame) {
  if (peers_.empty()) return false;
  // Encoded once into a recycled buffer; each peer queue gets a reference, not a copy, so the
  // cost here does not grow with the number of peers and nothing is allocated in steady state.
  SharedBytes record = pool_.acquire();
  if (!encode_stream_record(frame, record.mutable_bytes())) return false;
  bool accepted = false;
  for (auto it = peers_.begin(); it != peers_.end();) {
    switch (it->second.queue->try_push(record)) {
      case Offer::Accepted:
        accepted = true;
        ++it;
        break;
      case Offer::Full:
        ++it;
        break;
      case Offer::Closed:
        it = peers_.erase(it);
        break;
    }
  }
  return accepted;
}

std::vector<MediaFrame> PeerTransport::drain() {
  std::vector<MediaFrame> out;
  const std::size_t waiting = incoming_->size();
  if (waiting == 0) return out;
  out.reserve(std::min(waiting, kMaxDrainFrames));
  incoming_->take(out, kMaxDrainFrames);
  return out;
}

}  // namespace chat::media
