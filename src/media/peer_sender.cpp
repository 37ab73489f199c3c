#include "media/peer_sender.h"

#include <fcntl.h>
#include <unistd.h>

#include <asio.hpp>
#include <chrono>
#include <optional>

#include "media/doorbell.h"
#include "media/media_protocol.h"

namespace chat::media {

bool EndpointLink::post(std::function<void()> fn) {
  std::lock_guard lock(mu_);
  if (!endpoint_) return false;
  endpoint_->post(std::move(fn));
  return true;
}

bool EndpointLink::dial(p2p::EndpointAddr to, std::string alpn, p2p::Endpoint::DialCallback done) {
  std::lock_guard lock(mu_);
  if (!endpoint_) return false;
  endpoint_->dial(std::move(to), std::move(alpn), std::move(done));
  return true;
}

void EndpointLink::detach() {
  std::lock_guard lock(mu_);
  endpoint_ = nullptr;
}

namespace {

using Clock = std::chrono::steady_clock;

// While frames keep coming, the sender looks for the next one on a short timer instead of
// parking. A parked sender must be woken by the offering thread, and that wake-up tends to cost
// the UI thread its processor (the woken worker preempts it) right inside send. So only the first
// frame after a quiet spell rings the doorbell; a steady call never does.
constexpr auto kPollInterval = std::chrono::milliseconds(2);
constexpr auto kQuietAfter = std::chrono::milliseconds(250);

class PeerSender final : public PeerSenderTask, public std::enable_shared_from_this<PeerSender> {
 public:
  PeerSender(std::shared_ptr<EndpointLink> link, std::shared_ptr<PeerQueue> queue,
             std::shared_ptr<Doorbell> bell)
      : link_(std::move(link)), queue_(std::move(queue)), bell_(std::move(bell)) {}

  void start(p2p::EndpointAddr addr) {
    const bool dialled =
        link_->dial(std::move(addr), std::string(kMediaAlpn),
                    [self = shared_from_this()](zarn::Result<std::shared_ptr<p2p::Connection>> r) {
                      if (!r) return self->end();
                      self->on_connected(std::move(r).value());
                    });
    if (!dialled) queue_->close();
  }

  void flush() override { pump(); }

 private:
  void on_connected(std::shared_ptr<p2p::Connection> conn) {
    auto stream = conn->open_uni_stream();
    if (!stream || !watch_doorbell()) {
      conn->close("cannot open media stream");
      return end();
    }
    conn_ = std::move(conn);
    stream_ = stream.value();
    poll_.emplace(link_->io());
    conn_->set_closed_callback([self = shared_from_this()](const std::string&) { self->end(); });
    conn_->set_writable_callback([self = shared_from_this()] { self->pump(); });
    pump();
  }

  void pump() {
    while (conn_ && conn_->unacked_bytes(stream_) < kSendWindowBytes) {
      const bool active = Clock::now() - last_frame_ < kQuietAfter;
      auto pop = active ? queue_->pop() : queue_->pop_or_park();
      if (pop.closed) {
        (void)conn_->finish(stream_);
        return release();
      }
      if (!pop.item) return active ? poll_soon() : watch_bell();
      last_frame_ = Clock::now();
      // The connection keeps its own copy until acknowledged; the shared record goes back to
      // the UI thread's pool at once instead of being freed here.
      const auto record = pop.item->bytes();
      auto written = conn_->write(stream_, std::vector<std::uint8_t>(record.begin(), record.end()));
      pop.item->reset();
      if (!written) {
        conn_->close("media stream write failed");
        return end();
      }
    }
  }

  // The watcher gets its own descriptor for the doorbell, so it may close it whenever the task
  // ends while the UI side keeps ringing the original.
  bool watch_doorbell() {
    const int fd = ::fcntl(bell_->fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    watch_.emplace(link_->io());
    std::error_code ec;
    watch_->assign(fd, ec);
    if (!ec) return true;
    watch_.reset();
    ::close(fd);
    return false;
  }

  // Parked: the next frame rings the doorbell. A read (not a readiness wait) also catches a ring
  // that came before it was armed, since the eventfd count stays set until read.
  void watch_bell() {
    if (watching_ || !watch_) return;
    watching_ = true;
    auto count = std::make_shared<std::uint64_t>(0);
    watch_->async_read_some(
        asio::buffer(count.get(), sizeof *count),
        [count, link = link_, weak = weak_from_this()](const std::error_code& ec, std::size_t) {
          if (ec == asio::error::operation_aborted) return;
          link->post([weak, failed = static_cast<bool>(ec)] {
            auto self = weak.lock();
            if (!self) return;
            self->watching_ = false;
            if (!failed) return self->pump();
            if (self->conn_) self->conn_->close("media doorbell failed");
            self->end();
          });
        });
  }

  void poll_soon() {
    if (polling_ || !poll_) return;
    polling_ = true;
    poll_->expires_after(kPollInterval);
    poll_->async_wait([link = link_, weak = weak_from_this()](const std::error_code& ec) {
      if (ec == asio::error::operation_aborted) return;
      link->post([weak] {
        if (auto self = weak.lock()) {
          self->polling_ = false;
          self->pump();
        }
      });
    });
  }

  // The task is over: the queue refuses further frames and the connection forgets this task.
  void end() {
    queue_->close();
    release();
  }

  void release() {
    watch_.reset();
    poll_.reset();
    if (!conn_) return;
    auto conn = std::move(conn_);
    conn->set_writable_callback(nullptr);
    conn->set_closed_callback(nullptr);
  }

  std::shared_ptr<EndpointLink> link_;
  std::shared_ptr<PeerQueue> queue_;
  std::shared_ptr<Doorbell> bell_;
  std::shared_ptr<p2p::Connection> conn_;
  std::int64_t stream_ = -1;
  std::optional<asio::posix::stream_descriptor> watch_;
  bool watching_ = false;
  std::optional<asio::steady_timer> poll_;
  bool polling_ = false;
  Clock::time_point last_frame_{};
};

}  // namespace

zarn::Result<std::weak_ptr<PeerSenderTask>> spawn_peer_sender(
    const std::shared_ptr<EndpointLink>& link, p2p::EndpointAddr addr,
    std::shared_ptr<PeerQueue> queue) {
  auto bell = Doorbell::create();
  if (!bell) return std::move(bell).take_error();
  queue->set_waker([b = bell.value()] { b->ring(); });
  auto sender = std::make_shared<PeerSender>(link, std::move(queue), std::move(bell).value());
  sender->start(std::move(addr));
  return std::weak_ptr<PeerSenderTask>(sender);
}

}  // namespace chat::media
