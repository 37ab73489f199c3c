#include "media/loopback_transport.h"

#include <gtest/gtest.h>

#include "media/test_frames.h"

namespace chat::media {
namespace {

using testing::make_frame;

TEST(LoopbackTransport, IdentityAndConnect) {
  LoopbackTransport t;
  EXPECT_FALSE(t.is_peer_to_peer());
  EXPECT_EQ(t.ticket(), "sim://local");
  EXPECT_TRUE(t.connect("anything"));
  EXPECT_TRUE(t.drain().empty());
}

TEST(LoopbackTransport, QueueHolds128AndDrains64AtATime) {
  LoopbackTransport t;
  for (std::uint64_t i = 0; i < 128; ++i) ASSERT_TRUE(t.send(make_frame("u1", i)));
  EXPECT_FALSE(t.send(make_frame("u1", 128)));
  auto first = t.drain();
  ASSERT_EQ(first.size(), 64u);
  EXPECT_EQ(first.front().sequence, 0u);
  EXPECT_EQ(first.back().sequence, 63u);
  // Room again after draining.
  EXPECT_TRUE(t.send(make_frame("u1", 500)));
  auto second = t.drain();
  ASSERT_EQ(second.size(), 64u);
  EXPECT_EQ(second.front().sequence, 64u);
  auto third = t.drain();
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(third[0], make_frame("u1", 500));
}

TEST(LoopbackTransport, RefusesInvalidFrames) {
  LoopbackTransport t;
  EXPECT_FALSE(t.send(make_frame("", 1)));
  EXPECT_FALSE(t.send(make_frame(std::string(257, 'x'), 1)));
  EXPECT_FALSE(t.send(make_frame("u1", 1, kMaxPayloadBytes + 1)));
  EXPECT_TRUE(t.drain().empty());
}

TEST(MediaTransport, KindAndSubscriptionBookkeeping) {
  LoopbackTransport t;
  t.publish(MediaKind::Camera);
  t.publish(MediaKind::Microphone);
  t.publish(MediaKind::Camera);
  EXPECT_EQ(t.published(), (std::vector{MediaKind::Camera, MediaKind::Microphone}));
  t.unpublish(MediaKind::Camera);
  EXPECT_EQ(t.published(), (std::vector{MediaKind::Microphone}));
  t.unpublish(MediaKind::ScreenShare);
  EXPECT_EQ(t.published().size(), 1u);

  t.subscribe("u1", MediaKind::Camera);
  t.subscribe("u1", MediaKind::Camera);
  t.subscribe("u1", MediaKind::Microphone);
  t.subscribe("u2", MediaKind::Camera);
  EXPECT_EQ(t.subscriptions().size(), 3u);
  // Bookkeeping only: unsubscribed sources still arrive.
  ASSERT_TRUE(t.send(make_frame("u9", 1, 3, MediaKind::ScreenShare)));
  EXPECT_EQ(t.drain().size(), 1u);
}

}  // namespace
}  // namespace chat::media
