// A hand-driven sender on the media ALPN feeds a PeerTransport malformed streams, checking what
// the receiver keeps, where it ends a stream, and that other connections carry on.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <future>
#include <set>

#include "media/frame_stream.h"
#include "media/peer_transport.h"
#include "media/test_frames.h"
#include "platform/p2p/endpoint.h"
#include "platform/p2p/runtime.h"

namespace chat::media {
namespace {

using testing::eventually;
using testing::make_frame;

std::vector<std::uint8_t> record(std::uint64_t sequence) {
  std::vector<std::uint8_t> out;
  append_stream_record(out, encode_frame(make_frame("u_raw", sequence, 50)).value());
  return out;
}

std::vector<std::uint8_t> cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class RawSender {
 public:
  RawSender() {
    runtime_ = p2p::Runtime::start(2).value();
    p2p::EndpointConfig config;
    config.bind = "127.0.0.1:0";
    endpoint_ = p2p::Endpoint::bind(runtime_->io(), config, {}).value();
  }
  ~RawSender() {
    endpoint_.reset();
    runtime_.reset();
  }

  struct Stream {
    std::shared_ptr<p2p::Connection> conn;
    std::int64_t id = -1;
  };

  Stream open(const std::string& ticket) {
    auto done = std::make_shared<std::promise<Stream>>();
    auto result = done->get_future();
    endpoint_->dial(p2p::parse_endpoint_addr(ticket).value(), std::string(kMediaAlpn),
                    [done](zarn::Result<std::shared_ptr<p2p::Connection>> r) {
                      Stream s;
                      if (r) {
                        s.conn = r.value();
                        s.id = s.conn->open_uni_stream().value();
                      }
                      done->set_value(s);
                    });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) return {};
    return result.get();
  }

  void write(const Stream& s, std::vector<std::uint8_t> bytes, bool fin) {
    endpoint_->post([s, bytes = std::move(bytes), fin]() mutable {
      (void)s.conn->write(s.id, std::move(bytes));
      if (fin) (void)s.conn->finish(s.id);
    });
  }

  bool closed(const Stream& s) {
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    endpoint_->post([s, done] { done->set_value(s.conn->is_closed()); });
    return result.wait_for(std::chrono::seconds(5)) == std::future_status::ready && result.get();
  }

 private:
  std::unique_ptr<p2p::Runtime> runtime_;
  std::unique_ptr<p2p::Endpoint> endpoint_;
};

TEST(RawMediaStream, ReceiverDropsWhatItMustAndEndsWhereItMust) {
  PeerTransport::Options o;
  o.bind = "127.0.0.1:0";
  auto receiver = PeerTransport::create(o).value();
  auto honest = PeerTransport::create(o).value();
  ASSERT_TRUE(honest->connect(receiver->ticket()));
  RawSender raw;

  auto garbage = raw.open(receiver->ticket());
  auto oversized = raw.open(receiver->ticket());
  auto half = raw.open(receiver->ticket());
  ASSERT_TRUE(garbage.conn && oversized.conn && half.conn);

  std::vector<std::uint8_t> junk = {3, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<std::uint8_t> junk_record;
  append_stream_record(junk_record, junk);
  const auto too_large = stream_length_prefix(2'097'432);
  const auto r21 = record(21);

  raw.write(garbage, cat({record(1), junk_record, {0, 0, 0, 0}, record(2)}), false);
  raw.write(oversized, cat({record(10), {too_large.begin(), too_large.end()}, record(11)}), false);
  raw.write(half, cat({record(20), {r21.begin(), r21.begin() + 30}}), true);

  std::set<std::uint64_t> got;
  auto collect = [&] {
    for (auto& f : receiver->drain()) got.insert(f.sequence);
  };
  ASSERT_TRUE(eventually([&] {
    collect();
    return got.contains(1) && got.contains(2) && got.contains(10) && got.contains(20);
  }));
  // The oversized length ends that connection; the others stay up.
  EXPECT_TRUE(eventually([&] { return raw.closed(oversized); }));
  EXPECT_FALSE(raw.closed(garbage));

  raw.write(garbage, record(3), false);
  ASSERT_TRUE(honest->send(make_frame("u_honest", 30)));
  ASSERT_TRUE(eventually([&] {
    collect();
    return got.contains(3) && got.contains(30);
  }));
  EXPECT_EQ(got, (std::set<std::uint64_t>{1, 2, 3, 10, 20, 30}));
}

}  // namespace
}  // namespace chat::media
