#include "media/peer_transport.h"

#include <gtest/gtest.h>

#include "media/test_frames.h"

namespace chat::media {
namespace {

using testing::drain_until;
using testing::eventually;
using testing::make_frame;

std::unique_ptr<PeerTransport> make_peer(std::string bind = "127.0.0.1:0",
                                         std::optional<p2p::SecretKey> key = std::nullopt) {
  PeerTransport::Options o;
  o.bind = std::move(bind);
  o.secret_key = key;
  auto t = PeerTransport::create(std::move(o));
  EXPECT_TRUE(t.has_value()) << (t ? "" : t.error());
  return t ? std::move(t).value() : nullptr;
}

// Sends until a peer accepted the frame: right after connect, the sender may still be dialling,
// but its queue takes frames already.
void send_ok(MediaTransport& t, const MediaFrame& f) {
  ASSERT_TRUE(t.send(f));
}

TEST(PeerTransport, TicketIsEndpointAddressOfLoopbackBind) {
  auto a = make_peer();
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->is_peer_to_peer());
  auto addr = p2p::parse_endpoint_addr(a->ticket());
  ASSERT_TRUE(addr) << addr.error();
  ASSERT_EQ(addr->addrs.size(), 1u);
  const auto& ip = std::get<p2p::IpAddr>(addr->addrs[0]).text;
  EXPECT_EQ(ip.rfind("127.0.0.1:", 0), 0u) << ip;
  EXPECT_NE(ip, "127.0.0.1:0");
}

TEST(PeerTransport, FramesFlowBothWaysInOrderWithFieldsIntact) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(b->ticket()));
  ASSERT_TRUE(b->connect(a->ticket()));

  std::vector<MediaFrame> from_a, from_b;
  for (std::uint64_t i = 0; i < 50; ++i) {
    from_a.push_back(make_frame("u_alice", i, 10 + i * 100, MediaKind::Camera));
    from_b.push_back(make_frame("u_böb", 1000 + i, i, MediaKind::ScreenShare));
    send_ok(*a, from_a.back());
    send_ok(*b, from_b.back());
  }
  EXPECT_EQ(drain_until(*b, 50), from_a);
  EXPECT_EQ(drain_until(*a, 50), from_b);
}

TEST(PeerTransport, ConnectRules) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(a->connect(a->ticket()));
  EXPECT_FALSE(a->connect("not a ticket"));
  EXPECT_FALSE(a->connect(R"({"id":"zz","addrs":[]})"));
  EXPECT_EQ(a->peer_count(), 0u);

  ASSERT_TRUE(a->connect(b->ticket()));
  ASSERT_TRUE(a->connect(b->ticket()));
  EXPECT_EQ(a->peer_count(), 1u);
  // One connection means one copy of each frame, whatever the number of connects.
  send_ok(*a, make_frame("u1", 1));
  send_ok(*a, make_frame("u1", 2));
  auto got = drain_until(*b, 2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].sequence, 1u);
  EXPECT_EQ(got[1].sequence, 2u);
  EXPECT_TRUE(drain_until(*b, 1, std::chrono::milliseconds(200)).empty());
}

TEST(PeerTransport, InvalidFramesAreRefusedBeforeTheWire) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(b->ticket()));
  MediaFrame empty_source = make_frame("", 1);
  MediaFrame long_source = make_frame(std::string(257, 'x'), 2);
  MediaFrame big = make_frame("u1", 3, kMaxPayloadBytes + 1);
  EXPECT_FALSE(a->send(empty_source));
  EXPECT_FALSE(a->send(long_source));
  EXPECT_FALSE(a->send(big));
  send_ok(*a, make_frame("u1", 4));
  auto got = drain_until(*b, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].sequence, 4u);
}

TEST(PeerTransport, TicketWithForeignKeyDeliversNothing) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  auto forged = p2p::parse_endpoint_addr(b->ticket()).value();
  forged.id = p2p::public_key_of(p2p::generate_secret_key());
  const std::string forged_ticket = p2p::to_json(forged);
  ASSERT_TRUE(a->connect(forged_ticket));
  EXPECT_TRUE(a->send(make_frame("u1", 666)));
  // The failed handshake ends the sender; the next send notices and drops the peer.
  EXPECT_TRUE(eventually([&] {
    a->send(make_frame("u1", 667));
    return a->peer_count() == 0;
  }));

  ASSERT_TRUE(a->connect(b->ticket()));
  send_ok(*a, make_frame("u1", 1));
  auto got = drain_until(*b, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].sequence, 1u);
}

TEST(PeerTransport, PeerThatGoesAwayIsDroppedAndReconnectedByLaterConnect) {
  const auto key = p2p::generate_secret_key();
  auto a = make_peer();
  auto b = make_peer("127.0.0.1:0", key);
  ASSERT_TRUE(a && b);
  const std::string ticket = b->ticket();
  const std::string bind = std::get<p2p::IpAddr>(p2p::parse_endpoint_addr(ticket)->addrs[0]).text;
  ASSERT_TRUE(a->connect(ticket));
  send_ok(*a, make_frame("u1", 1));
  ASSERT_EQ(drain_until(*b, 1).size(), 1u);

  b.reset();
  EXPECT_TRUE(eventually([&] {
    a->send(make_frame("u1", 2));
    return a->peer_count() == 0;
  }));

  // The same key on the same port gives the same ticket: the peer is back.
  b = make_peer(bind, key);
  ASSERT_TRUE(b);
  ASSERT_EQ(b->ticket(), ticket);
  ASSERT_TRUE(a->connect(ticket));
  EXPECT_EQ(a->peer_count(), 1u);
  send_ok(*a, make_frame("u1", 3));
  auto got = drain_until(*b, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].sequence, 3u);
}

TEST(PeerTransport, DrainReturnsAtMost64PerCall) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(b->ticket()));
  for (std::uint64_t i = 0; i < 100; ++i) send_ok(*a, make_frame("u1", i));
  ASSERT_TRUE(eventually([&] { return b->pending() == 100; }));
  auto first = b->drain();
  auto second = b->drain();
  ASSERT_EQ(first.size(), 64u);
  ASSERT_EQ(second.size(), 36u);
  EXPECT_EQ(first.front().sequence, 0u);
  EXPECT_EQ(first.back().sequence, 63u);
  EXPECT_EQ(second.front().sequence, 64u);
  EXPECT_EQ(second.back().sequence, 99u);
  EXPECT_TRUE(b->drain().empty());
}

TEST(PeerTransport, FloodBeyondCapacityDropsNewestAndKeepsFlowing) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(b->ticket()));
  std::size_t accepted = 0;
  for (std::uint64_t i = 0; i < 400; ++i) accepted += a->send(make_frame("u1", i, 1000));
  EXPECT_GE(accepted, kFrameQueueCapacity);
  ASSERT_TRUE(eventually([&] { return b->pending() == kFrameQueueCapacity; }));
  // Nothing more fits; what is queued is the oldest run, in order.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(b->pending(), kFrameQueueCapacity);
  std::vector<MediaFrame> got;
  while (got.size() < kFrameQueueCapacity) {
    auto batch = b->drain();
    ASSERT_FALSE(batch.empty());
    got.insert(got.end(), batch.begin(), batch.end());
  }
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].sequence, i);

  // The connection survived the drops.
  EXPECT_TRUE(eventually([&] { return b->drain().empty() && b->pending() == 0; }));
  send_ok(*a, make_frame("u1", 9999));
  auto later = drain_until(*b, 1);
  ASSERT_FALSE(later.empty());
  EXPECT_EQ(later.back().sequence, 9999u);
}

// Each frame here finds the sender idle: first while frames flow (it looks again on its own
// soon), then after quiet spells long enough for it to park, when only the frame's offer can
// wake it. A lost wake-up leaves the frame queued and the peer silent.
TEST(PeerTransport, IdleSenderPicksUpEveryFrame) {
  auto a = make_peer();
  auto b = make_peer();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(b->ticket()));
  for (std::uint64_t i = 0; i < 30; ++i) {
    SCOPED_TRACE(i);
    if (i >= 25) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const MediaFrame f = make_frame("u1", i, i % 2 == 0 ? 3 : 70000);
    send_ok(*a, f);
    auto got = drain_until(*b, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], f);
  }
}

// One encoded record is shared by every peer queue: each peer must still get the whole frame,
// also after the buffer has gone back to the pool and been reused for the next one.
TEST(PeerTransport, EveryPeerGetsEachFrameIntact) {
  auto a = make_peer();
  auto b = make_peer();
  auto c = make_peer();
  ASSERT_TRUE(a && b && c);
  ASSERT_TRUE(a->connect(b->ticket()));
  ASSERT_TRUE(a->connect(c->ticket()));
  // Fewer frames than a queue holds, so no queue may drop one.
  std::vector<MediaFrame> sent;
  for (std::uint64_t i = 0; i < 60; ++i) {
    sent.push_back(make_frame("u_alice", i, 100 + (i * 7919) % 50000, MediaKind::Camera));
    send_ok(*a, sent.back());
  }
  EXPECT_EQ(drain_until(*b, sent.size()), sent);
  EXPECT_EQ(drain_until(*c, sent.size()), sent);
}

}  // namespace
}  // namespace chat::media
