#include "media/peer_transport.h"

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
  t->ticket_ = p2p::to_json(t->endpoint_->addr());
  return t;
}

PeerTransport::~PeerTransport() {
  if (incoming_) incoming_->close();
  for (auto& [ticket, queue] : peers_) queue->close();
  endpoint_.reset();
  runtime_.reset();
}

bool PeerTransport::connect(const std::string& ticket) {
  if (ticket == ticket_) return false;
  if (peers_.contains(ticket)) return true;
  auto addr = p2p::parse_endpoint_addr(ticket);
  if (!addr) return false;
  auto queue = std::make_shared<PeerQueue>(kFrameQueueCapacity);
  spawn_peer_sender(*endpoint_, std::move(addr).value(), queue);
  peers_.emplace(ticket, std::move(queue));
  return true;
}

bool PeerTransport::send(const MediaFrame& frame) {
  auto encoded = encode_frame(frame);
  if (!encoded) return false;
  bool accepted = false;
  for (auto it = peers_.begin(); it != peers_.end();) {
    switch (it->second->try_push(encoded.value())) {
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
  incoming_->take(out, kMaxDrainFrames);
  return out;
}

}  // namespace chat::media
