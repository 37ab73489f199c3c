#include "platform/p2p/endpoint.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <future>
#include <mutex>

#include "platform/p2p/runtime.h"

namespace p2p {
namespace {

constexpr const char* kAlpn = "test-echo/1";

// Collects every byte of every stream of every connection, per stream.
struct Collector {
  std::mutex mu;
  std::string bytes;
  int fins = 0;
  int connections = 0;
};

class CollectingProtocol final : public ProtocolHandler {
 public:
  explicit CollectingProtocol(std::shared_ptr<Collector> c) : c_(std::move(c)) {}
  std::unique_ptr<StreamHandler> accept(const std::shared_ptr<Connection>&) override {
    {
      std::lock_guard lock(c_->mu);
      ++c_->connections;
    }
    struct Handler final : StreamHandler {
      std::shared_ptr<Collector> c;
      zarn::Result<void> on_stream_data(std::int64_t, std::span<const std::uint8_t> data,
                                        bool fin) override {
        std::lock_guard lock(c->mu);
        c->bytes.append(reinterpret_cast<const char*>(data.data()), data.size());
        c->fins += fin;
        if (c->bytes.find("STOP") != std::string::npos) return zarn::make_error("told to stop");
        return zarn::ok();
      }
    };
    auto h = std::make_unique<Handler>();
    h->c = c_;
    return h;
  }

 private:
  std::shared_ptr<Collector> c_;
};

class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_ = Runtime::start(2).value();
    collector_ = std::make_shared<Collector>();
    EndpointConfig config;
    config.bind = "127.0.0.1:0";
    Router router;
    router.emplace(kAlpn, std::make_shared<CollectingProtocol>(collector_));
    server_ = Endpoint::bind(runtime_->io(), config, std::move(router)).value();
    client_ = Endpoint::bind(runtime_->io(), config, {}).value();
  }
  void TearDown() override {
    client_.reset();
    server_.reset();
    runtime_.reset();
  }

  zarn::Result<std::shared_ptr<Connection>> dial(EndpointAddr to, std::string alpn) {
    auto done = std::make_shared<std::promise<zarn::Result<std::shared_ptr<Connection>>>>();
    auto f = done->get_future();
    client_->dial(std::move(to), std::move(alpn), [done](auto r) { done->set_value(r); });
    if (f.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      return zarn::make_error("dial did not finish");
    }
    return f.get();
  }

  template <typename F>
  auto on_strand(F fn) {
    auto done = std::make_shared<std::promise<decltype(fn())>>();
    auto f = done->get_future();
    client_->post([done, fn] { done->set_value(fn()); });
    f.wait_for(std::chrono::seconds(5));
    return f.get();
  }

  bool wait_for(const std::function<bool()>& pred) {
    for (int i = 0; i < 2000; ++i) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  std::unique_ptr<Runtime> runtime_;
  std::shared_ptr<Collector> collector_;
  std::unique_ptr<Endpoint> server_;
  std::unique_ptr<Endpoint> client_;
};

TEST_F(EndpointTest, StreamBytesArriveInOrderWithFin) {
  auto conn = dial(server_->addr(), kAlpn);
  ASSERT_TRUE(conn) << conn.error();
  EXPECT_EQ(conn.value()->remote_key(), server_->public_key());
  EXPECT_EQ(on_strand([c = conn.value()] { return c->alpn(); }), kAlpn);
  // Larger than the send window and the packet size, to exercise acknowledgement and refill.
  std::string expected;
  for (int i = 0; i < 40000; ++i) expected += std::to_string(i) + ",";
  on_strand([c = conn.value(), expected] {
    auto id = c->open_uni_stream().value();
    for (std::size_t off = 0; off < expected.size(); off += 3000) {
      auto piece = expected.substr(off, 3000);
      (void)c->write(id, std::vector<std::uint8_t>(piece.begin(), piece.end()));
    }
    (void)c->finish(id);
    return 0;
  });
  ASSERT_TRUE(wait_for([&] {
    std::lock_guard lock(collector_->mu);
    return collector_->fins == 1;
  }));
  std::lock_guard lock(collector_->mu);
  EXPECT_EQ(collector_->bytes, expected);
  EXPECT_EQ(collector_->connections, 1);
}

TEST_F(EndpointTest, DialFailsWhenThePeerKeyDiffers) {
  EndpointAddr forged = server_->addr();
  forged.id = public_key_of(generate_secret_key());
  auto conn = dial(forged, kAlpn);
  ASSERT_FALSE(conn);
  EXPECT_NE(conn.error().find("peer key does not match"), std::string::npos) << conn.error();
  std::lock_guard lock(collector_->mu);
  EXPECT_EQ(collector_->connections, 0);
}

TEST_F(EndpointTest, DialFailsForUnknownAlpnAndUndialableAddresses) {
  EXPECT_FALSE(dial(server_->addr(), "nobody-speaks-this/1"));
  EndpointAddr relay_only{server_->public_key(),
                          {RelayAddr{"https://relay.invalid/"}, CustomAddr{1, {1, 2}}}};
  auto r = dial(relay_only, kAlpn);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("no reachable address"), std::string::npos);
  std::lock_guard lock(collector_->mu);
  EXPECT_EQ(collector_->connections, 0);
}

TEST_F(EndpointTest, HandlerErrorClosesTheConnection) {
  auto conn = dial(server_->addr(), kAlpn);
  ASSERT_TRUE(conn) << conn.error();
  auto c = conn.value();
  on_strand([c] {
    auto id = c->open_uni_stream().value();
    std::string s = "STOP";
    return c->write(id, std::vector<std::uint8_t>(s.begin(), s.end())).has_value();
  });
  EXPECT_TRUE(wait_for([&] { return on_strand([c] { return c->is_closed(); }); }));
  EXPECT_FALSE(on_strand([c] { return c->write(0, {1}).has_value(); }));
}

TEST_F(EndpointTest, AddressOfLoopbackBindHasBoundPort) {
  const auto& addr = server_->addr();
  ASSERT_EQ(addr.addrs.size(), 1u);
  auto sa = parse_socket_addr(std::get<IpAddr>(addr.addrs[0]).text);
  ASSERT_TRUE(sa);
  EXPECT_EQ(sa->ip, "127.0.0.1");
  EXPECT_NE(sa->port, 0);
}

TEST(Endpoint, BindErrorsAreValues) {
  auto runtime = Runtime::start(1).value();
  for (const char* bad : {"nonsense", "127.0.0.1", "192.0.2.1:0"}) {
    SCOPED_TRACE(bad);
    EndpointConfig config;
    config.bind = bad;
    EXPECT_FALSE(Endpoint::bind(runtime->io(), config, {}));
  }
  EndpointConfig bad_advert;
  bad_advert.bind = "127.0.0.1:0";
  bad_advert.advertise = {"not an address"};
  EXPECT_FALSE(Endpoint::bind(runtime->io(), bad_advert, {}));
}

TEST(Endpoint, InterfaceAddressesAreNumericAndNeverEmpty) {
  const auto ips = local_interface_ips(false);
  ASSERT_FALSE(ips.empty());
  for (const auto& ip : ips) EXPECT_TRUE(parse_socket_addr(ip + ":1")) << ip;
}

}  // namespace
}  // namespace p2p
