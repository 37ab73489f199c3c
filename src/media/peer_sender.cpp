#include "media/peer_sender.h"

#include "media/frame_stream.h"
#include "media/media_protocol.h"

namespace chat::media {
namespace {

class PeerSender : public std::enable_shared_from_this<PeerSender> {
 public:
  PeerSender(p2p::Endpoint& endpoint, std::shared_ptr<PeerQueue> queue)
      : endpoint_(endpoint), queue_(std::move(queue)) {}

  void start(p2p::EndpointAddr addr) {
    endpoint_.dial(std::move(addr), std::string(kMediaAlpn),
                   [self = shared_from_this()](zarn::Result<std::shared_ptr<p2p::Connection>> r) {
                     if (!r) return self->end();
                     self->on_connected(std::move(r).value());
                   });
  }

 private:
  void on_connected(std::shared_ptr<p2p::Connection> conn) {
    auto stream = conn->open_uni_stream();
    if (!stream) {
      conn->close("cannot open media stream");
      return end();
    }
    conn_ = std::move(conn);
    stream_ = stream.value();
    conn_->set_closed_callback([self = shared_from_this()](const std::string&) { self->end(); });
    conn_->set_writable_callback([self = shared_from_this()] { self->pump(); });
    pump();
  }

  void pump() {
    while (conn_ && conn_->unacked_bytes(stream_) < kSendWindowBytes) {
      auto pop = queue_->pop_or_arm([weak = weak_from_this(), ep = &endpoint_] {
        ep->post([weak] {
          if (auto self = weak.lock()) self->pump();
        });
      });
      if (pop.closed) {
        (void)conn_->finish(stream_);
        return release();
      }
      if (!pop.item) return;
      const auto prefix = stream_length_prefix(static_cast<std::uint32_t>(pop.item->size()));
      auto written = conn_->write(stream_, {prefix.begin(), prefix.end()});
      if (written && !pop.item->empty()) written = conn_->write(stream_, std::move(*pop.item));
      if (!written) {
        conn_->close("media stream write failed");
        return end();
      }
    }
  }

  // The task is over: the queue refuses further frames and the connection forgets this task.
  void end() {
    queue_->close();
    release();
  }

  void release() {
    if (!conn_) return;
    auto conn = std::move(conn_);
    conn->set_writable_callback(nullptr);
    conn->set_closed_callback(nullptr);
  }

  p2p::Endpoint& endpoint_;
  std::shared_ptr<PeerQueue> queue_;
  std::shared_ptr<p2p::Connection> conn_;
  std::int64_t stream_ = -1;
};

}  // namespace

void spawn_peer_sender(p2p::Endpoint& endpoint, p2p::EndpointAddr addr,
                       std::shared_ptr<PeerQueue> queue) {
  std::make_shared<PeerSender>(endpoint, std::move(queue))->start(std::move(addr));
}

}  // namespace chat::media
