#include "platform/p2p/endpoint.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>

#include <algorithm>
#include <asio.hpp>
#include <cstring>
#include <future>
#include <unordered_map>

#include "platform/p2p/tls_identity.h"

namespace p2p {
namespace {

constexpr std::size_t kRxBatch = 64;

std::string cid_key(std::span<const std::uint8_t> cid) {
  return std::string(reinterpret_cast<const char*>(cid.data()), cid.size());
}

}  // namespace

class EndpointCore final : public ConnectionHost,
                           public std::enable_shared_from_this<EndpointCore> {
 public:
  EndpointCore(asio::io_context& io, EndpointConfig config, Router router,
               std::unique_ptr<TlsIdentity> identity)
      : strand_(asio::make_strand(io)),
        socket_(strand_),
        config_(std::move(config)),
        router_(std::move(router)),
        identity_(std::move(identity)),
        rx_(65536) {
    for (const auto& [alpn, handler] : router_) alpns_.push_back(alpn);
  }

  zarn::Result<void> open();
  void start() {
    asio::post(strand_, [self = shared_from_this()] { self->receive(); });
  }
  void shutdown();

  const EndpointAddr& addr() const { return addr_; }
  const PublicKey& key() const { return identity_->public_key(); }
  asio::strand<asio::io_context::executor_type>& strand() { return strand_; }

  // Tries the addresses of `to` from `index` on; `last_error` is why the previous one failed.
  void dial(EndpointAddr to, std::string alpn, Endpoint::DialCallback done, std::size_t index,
            std::string last_error = {});

  // ConnectionHost
  void send_datagram(const ngtcp2_addr& remote, std::span<const std::uint8_t> data) override;
  void register_cid(std::span<const std::uint8_t> cid, Connection* conn) override {
    by_cid_[cid_key(cid)] = conn;
  }
  void unregister_cid(std::span<const std::uint8_t> cid) override { by_cid_.erase(cid_key(cid)); }
  void request_flush(Connection* conn) override;
  ProtocolHandler* find_protocol(std::string_view alpn) override {
    auto it = router_.find(alpn);
    return it == router_.end() ? nullptr : it->second.get();
  }

 private:
  struct Slot {
    std::shared_ptr<Connection> conn;
    std::unique_ptr<asio::steady_timer> timer;
    std::uint64_t armed = UINT64_MAX;
  };

  void receive();
  // Returns the connection the datagram went to, if any.
  Connection* on_datagram(std::size_t len, const asio::ip::udp::endpoint& from);
  void add(const std::shared_ptr<Connection>& conn);
  // Sends what the connection has, re-arms its timer, forgets it once closed.
  void service(Connection* conn);
  void on_timer(Connection* conn, std::uint64_t armed);

  asio::strand<asio::io_context::executor_type> strand_;
  asio::ip::udp::socket socket_;
  EndpointConfig config_;
  Router router_;
  std::vector<std::string> alpns_;
  std::unique_ptr<TlsIdentity> identity_;
  EndpointAddr addr_;
  Connection::Path local_;
  std::vector<std::uint8_t> rx_;
  asio::ip::udp::endpoint from_;
  std::unordered_map<Connection*, Slot> conns_;
  std::unordered_map<std::string, Connection*> by_cid_;
  bool closed_ = false;
};

zarn::Result<void> EndpointCore::open() {
  const auto bind = parse_socket_addr(config_.bind);
  if (!bind) return zarn::make_error("bad bind address: " + config_.bind);
  std::error_code ec;
  const auto ip = asio::ip::make_address(bind->ip, ec);
  if (ec) return zarn::make_error("bad bind address: " + config_.bind);
  asio::ip::udp::endpoint local(ip, bind->port);
  socket_.open(local.protocol(), ec);
  if (!ec) socket_.bind(local, ec);
  if (!ec) socket_.non_blocking(true, ec);
  if (ec) return zarn::make_error("cannot bind " + config_.bind + ": " + ec.message());
  // Larger kernel buffers absorb bursts while the strand is busy; the kernel may cap them.
  socket_.set_option(asio::socket_base::receive_buffer_size(4 << 20), ec);
  socket_.set_option(asio::socket_base::send_buffer_size(4 << 20), ec);
  const auto bound = socket_.local_endpoint(ec);
  if (ec) return zarn::make_error("cannot read bound address: " + ec.message());
  std::memcpy(&local_.local, bound.data(), bound.size());
  local_.local_len = static_cast<socklen_t>(bound.size());

  addr_.id = identity_->public_key();
  std::vector<std::string> adverts = config_.advertise;
  if (adverts.empty()) {
    if (ip.is_unspecified()) {
      for (const auto& a : local_interface_ips(ip.is_v6())) {
        adverts.push_back(format_socket_addr({a, bound.port()}));
      }
    } else {
      adverts.push_back(format_socket_addr({bound.address().to_string(), bound.port()}));
    }
  }
  for (const auto& text : adverts) {
    auto sa = parse_socket_addr(text);
    if (!sa) return zarn::make_error("bad advertised address: " + text);
    if (sa->port == 0) sa->port = bound.port();
    addr_.addrs.emplace_back(IpAddr{format_socket_addr(*sa)});
  }
  return zarn::ok();
}

void EndpointCore::receive() {
  if (closed_) return;
  socket_.async_receive_from(
      asio::buffer(rx_), from_,
      [self = shared_from_this()](const std::error_code& ec, std::size_t n) {
        if (self->closed_) return;
        std::vector<Connection*> touched;
        auto note = [&touched](Connection* c) {
          if (c && std::find(touched.begin(), touched.end(), c) == touched.end()) {
            touched.push_back(c);
          }
        };
        if (!ec) {
          note(self->on_datagram(n, self->from_));
          // Drain what else is queued in the kernel before going back to the reactor.
          for (std::size_t i = 0; i < kRxBatch; ++i) {
            std::error_code rec;
            asio::ip::udp::endpoint from;
            const std::size_t m = self->socket_.receive_from(asio::buffer(self->rx_), from, 0, rec);
            if (rec) break;
            note(self->on_datagram(m, from));
          }
        }
        // Flushing once after the batch lets acknowledgements and stream data coalesce.
        for (Connection* c : touched) self->service(c);
        self->receive();
      });
}

Connection* EndpointCore::on_datagram(std::size_t len, const asio::ip::udp::endpoint& from) {
  const std::span<const std::uint8_t> data(rx_.data(), len);
  ngtcp2_version_cid vc{};
  if (ngtcp2_pkt_decode_version_cid(&vc, data.data(), data.size(), kCidLen) != 0) return nullptr;
  Connection::Path path = local_;
  std::memcpy(&path.remote, from.data(), from.size());
  path.remote_len = static_cast<socklen_t>(from.size());
  const std::uint64_t now = monotonic_now_ns();

  auto it = by_cid_.find(cid_key({vc.dcid, vc.dcidlen}));
  if (it != by_cid_.end()) {
    Connection* conn = it->second;
    conn->on_datagram(path, data, now);
    return conn;
  }
  if (router_.empty()) return nullptr;
  ngtcp2_pkt_hd hd{};
  if (ngtcp2_accept(&hd, data.data(), data.size()) != 0) return nullptr;
  auto conn = Connection::accept(*this, *identity_, path, hd, alpns_, config_.connection, now);
  if (!conn) return nullptr;
  add(conn.value());
  conn.value()->on_datagram(path, data, now);
  return conn.value().get();
}

void EndpointCore::add(const std::shared_ptr<Connection>& conn) {
  Slot slot;
  slot.conn = conn;
  slot.timer = std::make_unique<asio::steady_timer>(strand_);
  conns_.emplace(conn.get(), std::move(slot));
}

void EndpointCore::send_datagram(const ngtcp2_addr& remote, std::span<const std::uint8_t> data) {
  if (closed_ || !socket_.is_open()) return;
  asio::ip::udp::endpoint to;
  if (remote.addrlen > to.capacity()) return;
  std::memcpy(to.data(), remote.addr, remote.addrlen);
  to.resize(remote.addrlen);
  std::error_code ec;
  // Non-blocking: a full socket buffer drops the packet and QUIC loss recovery resends.
  socket_.send_to(asio::buffer(data.data(), data.size()), to, 0, ec);
}

void EndpointCore::request_flush(Connection* conn) {
  asio::post(strand_, [self = shared_from_this(), c = conn->shared_from_this()] {
    if (self->closed_ || !c->take_flush_request()) return;
    self->service(c.get());
  });
}

void EndpointCore::service(Connection* conn) {
  auto it = conns_.find(conn);
  if (it == conns_.end()) return;
  Slot& slot = it->second;
  auto keep = slot.conn;
  conn->take_flush_request();
  conn->flush(monotonic_now_ns());
  if (conn->is_closed()) {
    slot.timer->cancel();
    conns_.erase(it);
    return;
  }
  const std::uint64_t expiry = conn->expiry();
  if (expiry == slot.armed) return;
  slot.armed = expiry;
  slot.timer->cancel();
  if (expiry == UINT64_MAX) return;
  slot.timer->expires_at(asio::steady_timer::time_point(std::chrono::nanoseconds(expiry)));
  slot.timer->async_wait([self = shared_from_this(), conn, expiry](const std::error_code& ec) {
    if (!ec) self->on_timer(conn, expiry);
  });
}

void EndpointCore::on_timer(Connection* conn, std::uint64_t armed) {
  auto it = conns_.find(conn);
  if (closed_ || it == conns_.end() || it->second.armed != armed) return;
  auto keep = it->second.conn;
  it->second.armed = UINT64_MAX;
  conn->on_expiry(monotonic_now_ns());
  service(conn);
}

void EndpointCore::dial(EndpointAddr to, std::string alpn, Endpoint::DialCallback done,
                        std::size_t index, std::string last_error) {
  if (closed_) return done(zarn::make_error("endpoint closed"));
  // Find the next address this socket can reach.
  std::optional<asio::ip::udp::endpoint> remote;
  for (; index < to.addrs.size() && !remote; ++index) {
    const auto* ip = std::get_if<IpAddr>(&to.addrs[index]);
    if (!ip) continue;
    const auto sa = parse_socket_addr(ip->text);
    std::error_code ec;
    const auto a = sa ? asio::ip::make_address(sa->ip, ec) : asio::ip::address();
    if (!sa || ec || a.is_v6() != (local_.local.ss_family == AF_INET6)) continue;
    remote.emplace(a, sa->port);
  }
  if (!remote) {
    if (last_error.empty()) last_error = "no reachable address in the endpoint address";
    return done(zarn::make_error(std::move(last_error)));
  }

  Connection::Path path = local_;
  std::memcpy(&path.remote, remote->data(), remote->size());
  path.remote_len = static_cast<socklen_t>(remote->size());
  auto conn = Connection::dial(*this, *identity_, path, to.id, alpn, config_.connection,
                               monotonic_now_ns());
  if (!conn) return done(std::move(conn).take_error());
  auto c = conn.value();
  add(c);
  // Exactly one of the two callbacks reports; a failed handshake moves on to the next address.
  auto state = std::make_shared<Endpoint::DialCallback>(std::move(done));
  std::weak_ptr<Connection> weak = c;
  c->set_handshake_callback([state, weak] {
    auto conn = weak.lock();
    if (!conn || !*state) return;
    conn->set_closed_callback(nullptr);
    std::exchange(*state, nullptr)(conn);
  });
  c->set_closed_callback(
      [self = shared_from_this(), state, to, alpn, index](const std::string& reason) {
        if (!*state) return;
        auto cb = std::exchange(*state, nullptr);
        asio::post(self->strand_, [self, to, alpn, index, reason, cb = std::move(cb)]() mutable {
          self->dial(std::move(to), std::move(alpn), std::move(cb), index, reason);
        });
      });
  service(c.get());
}

void EndpointCore::shutdown() {
  if (closed_) return;
  std::vector<std::shared_ptr<Connection>> all;
  for (auto& [ptr, slot] : conns_) {
    slot.timer->cancel();
    all.push_back(slot.conn);
  }
  for (auto& c : all) c->close("endpoint closed");
  closed_ = true;
  conns_.clear();
  by_cid_.clear();
  std::error_code ec;
  socket_.close(ec);
}

Endpoint::Endpoint(std::shared_ptr<EndpointCore> core) : core_(std::move(core)) {}

zarn::Result<std::unique_ptr<Endpoint>> Endpoint::bind(asio::io_context& io, EndpointConfig config,
                                                       Router router) {
  const SecretKey secret = config.secret_key ? *config.secret_key : generate_secret_key();
  auto identity = TlsIdentity::create(secret);
  if (!identity) return std::move(identity).take_error();
  auto core = std::make_shared<EndpointCore>(io, std::move(config), std::move(router),
                                             std::move(identity).value());
  ZARN_TRY(core->open());
  core->start();
  return std::unique_ptr<Endpoint>(new Endpoint(std::move(core)));
}

Endpoint::~Endpoint() {
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  asio::post(core_->strand(), [core = core_, done] {
    core->shutdown();
    done->set_value();
  });
  // A stopped runtime never runs the task; the core then dies with the runtime's queue.
  finished.wait_for(std::chrono::seconds(2));
}

const EndpointAddr& Endpoint::addr() const {
  return core_->addr();
}
const PublicKey& Endpoint::public_key() const {
  return core_->key();
}

void Endpoint::dial(EndpointAddr to, std::string alpn, DialCallback done) {
  asio::post(core_->strand(), [core = core_, to = std::move(to), alpn = std::move(alpn),
                               done = std::move(done)]() mutable {
    core->dial(std::move(to), std::move(alpn), std::move(done), 0);
  });
}

void Endpoint::post(std::function<void()> fn) {
  asio::post(core_->strand(), std::move(fn));
}

std::vector<std::string> local_interface_ips(bool want_v6) {
  std::vector<std::string> out, loopback;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {"127.0.0.1"};
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || !(i->ifa_flags & IFF_UP)) continue;
    const int family = i->ifa_addr->sa_family;
    if (family != (want_v6 ? AF_INET6 : AF_INET)) continue;
    char host[NI_MAXHOST];
    const socklen_t len = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (getnameinfo(i->ifa_addr, len, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) {
      continue;
    }
    std::string text = host;
    if (text.find('%') != std::string::npos) continue;  // link-local with a zone
    ((i->ifa_flags & IFF_LOOPBACK) ? loopback : out).push_back(std::move(text));
  }
  freeifaddrs(list);
  if (out.empty()) out = loopback;
  if (out.empty()) out.push_back(want_v6 ? "::1" : "127.0.0.1");
  return out;
}

}  // namespace p2p
