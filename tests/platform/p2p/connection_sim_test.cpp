// Deterministic network simulator: two Connections exchange datagrams through in-memory queues
// under a simulated clock, so loss and timeouts are tested without sockets or real waiting.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "platform/p2p/connection.h"
#include "platform/p2p/tls_identity.h"

namespace p2p {
namespace {

constexpr const char* kAlpn = "sim/1";
constexpr std::uint64_t kMs = 1'000'000;

struct Received {
  std::string bytes;
  bool fin = false;
};

class SimProtocol final : public ProtocolHandler {
 public:
  explicit SimProtocol(Received& r) : r_(r) {}
  std::unique_ptr<StreamHandler> accept(const std::shared_ptr<Connection>&) override {
    struct H final : StreamHandler {
      Received* r;
      zarn::Result<void> on_stream_data(std::int64_t, std::span<const std::uint8_t> d,
                                        bool fin) override {
        r->bytes.append(reinterpret_cast<const char*>(d.data()), d.size());
        r->fin = r->fin || fin;
        return zarn::ok();
      }
    };
    auto h = std::make_unique<H>();
    h->r = &r_;
    return h;
  }

 private:
  Received& r_;
};

class SimHost final : public ConnectionHost {
 public:
  std::deque<std::vector<std::uint8_t>> outbox;
  std::map<std::string, Connection*> cids;
  ProtocolHandler* protocol = nullptr;

  void send_datagram(const ngtcp2_addr&, std::span<const std::uint8_t> d) override {
    outbox.emplace_back(d.begin(), d.end());
  }
  void register_cid(std::span<const std::uint8_t> cid, Connection* c) override {
    cids[std::string(cid.begin(), cid.end())] = c;
  }
  void unregister_cid(std::span<const std::uint8_t> cid) override {
    cids.erase(std::string(cid.begin(), cid.end()));
  }
  void request_flush(Connection*) override {}
  ProtocolHandler* find_protocol(std::string_view alpn) override {
    return alpn == kAlpn ? protocol : nullptr;
  }
};

Connection::Path path_between(std::uint16_t local, std::uint16_t remote) {
  Connection::Path p;
  auto set = [](sockaddr_storage& ss, socklen_t& len, std::uint16_t port) {
    auto* in = reinterpret_cast<sockaddr_in*>(&ss);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof(sockaddr_in);
  };
  set(p.local, p.local_len, local);
  set(p.remote, p.remote_len, remote);
  return p;
}

class Sim {
 public:
  // Datagram n (counted over both directions) is dropped when drop(n) holds.
  std::function<bool(std::size_t)> drop = [](std::size_t) { return false; };
  bool server_reachable = true;

  Sim() {
    client_id_ = TlsIdentity::create(generate_secret_key()).value();
    server_id_ = TlsIdentity::create(generate_secret_key()).value();
    server_host_.protocol = &protocol_;
  }

  std::shared_ptr<Connection> dial(const PublicKey& expected) {
    client_ = Connection::dial(client_host_, *client_id_, path_between(1000, 2000), expected, kAlpn,
                               settings_, now_)
                  .value();
    return client_;
  }
  const PublicKey& server_key() const { return server_id_->public_key(); }

  // Runs until `done` holds or the simulated clock reaches `limit_ns`.
  bool run(const std::function<bool()>& done, std::uint64_t limit_ns) {
    while (now_ < limit_ns) {
      if (done()) return true;
      client_->flush(now_);
      if (server_) server_->flush(now_);
      bool moved = deliver(client_host_, /*to_server=*/true);
      moved = deliver(server_host_, /*to_server=*/false) || moved;
      if (moved) {
        now_ += kMs / 10;  // a tenth of a millisecond per hop
        continue;
      }
      std::uint64_t next = client_->expiry();
      if (server_) next = std::min(next, server_->expiry());
      if (next == UINT64_MAX) return done();
      now_ = std::max(now_ + 1, next);
      client_->on_expiry(now_);
      if (server_) server_->on_expiry(now_);
    }
    return done();
  }

  std::uint64_t now() const { return now_; }
  Received received;

 private:
  bool deliver(SimHost& from, bool to_server) {
    bool moved = false;
    while (!from.outbox.empty()) {
      auto d = std::move(from.outbox.front());
      from.outbox.pop_front();
      moved = true;
      if (drop(sent_++)) continue;
      if (!to_server) {
        client_->on_datagram(path_between(1000, 2000), d, now_);
        continue;
      }
      if (!server_reachable) continue;
      if (!server_) {
        ngtcp2_pkt_hd hd{};
        if (ngtcp2_accept(&hd, d.data(), d.size()) != 0) continue;
        server_ = Connection::accept(server_host_, *server_id_, path_between(2000, 1000), hd,
                                     {kAlpn}, settings_, now_)
                      .value();
      }
      server_->on_datagram(path_between(2000, 1000), d, now_);
    }
    return moved;
  }

  ConnectionSettings settings_;
  std::unique_ptr<TlsIdentity> client_id_, server_id_;
  SimHost client_host_, server_host_;
  SimProtocol protocol_{received};
  std::shared_ptr<Connection> client_, server_;
  std::uint64_t now_ = 1'000 * kMs;
  std::size_t sent_ = 0;
};

std::string pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

TEST(ConnectionSim, StreamSurvivesPacketLossIntact) {
  struct Case {
    const char* name;
    std::function<bool(std::size_t)> drop;
  };
  const Case cases[] = {
      {"no loss", [](std::size_t) { return false; }},
      {"every 7th datagram", [](std::size_t n) { return n % 7 == 3; }},
      {"a burst of 20 after the handshake", [](std::size_t n) { return n >= 12 && n < 32; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sim sim;
    sim.drop = c.drop;
    auto conn = sim.dial(sim.server_key());
    ASSERT_TRUE(sim.run([&] { return conn->handshake_done(); }, sim.now() + 10'000 * kMs));
    const std::string data = pattern(300'000);
    auto id = conn->open_uni_stream().value();
    for (std::size_t off = 0; off < data.size(); off += 10'000) {
      auto piece = data.substr(off, 10'000);
      ASSERT_TRUE(conn->write(id, std::vector<std::uint8_t>(piece.begin(), piece.end())));
    }
    ASSERT_TRUE(conn->finish(id));
    ASSERT_TRUE(sim.run([&] { return sim.received.fin && conn->unacked_bytes(id) == 0; },
                        sim.now() + 60'000 * kMs));
    EXPECT_EQ(sim.received.bytes, data);
  }
}

TEST(ConnectionSim, UnansweredDialTimesOutOnTheSimulatedClock) {
  Sim sim;
  sim.server_reachable = false;
  auto conn = sim.dial(sim.server_key());
  std::string reason;
  conn->set_closed_callback([&](const std::string& r) { reason = r; });
  const std::uint64_t start = sim.now();
  ASSERT_TRUE(sim.run([&] { return conn->is_closed(); }, start + 60'000 * kMs));
  EXPECT_FALSE(conn->handshake_done());
  EXPECT_GE(sim.now() - start, 5'000 * kMs);
  EXPECT_LT(sim.now() - start, 6'000 * kMs);
  EXPECT_FALSE(reason.empty());
}

TEST(ConnectionSim, WrongKeyFailsTheHandshakeAndNothingIsAccepted) {
  Sim sim;
  auto conn = sim.dial(public_key_of(generate_secret_key()));
  std::string reason;
  conn->set_closed_callback([&](const std::string& r) { reason = r; });
  ASSERT_TRUE(sim.run([&] { return conn->is_closed(); }, sim.now() + 10'000 * kMs));
  EXPECT_FALSE(conn->handshake_done());
  EXPECT_EQ(reason, "peer key does not match the dialled address");
  EXPECT_FALSE(conn->open_uni_stream());
}

}  // namespace
}  // namespace p2p
