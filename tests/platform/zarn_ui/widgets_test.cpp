// Smaller widgets and helpers: byte formatting, avatar initials, transitions, floating card
// placement, tooltips, buttons and the video player.
#include <cairo.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/zarn_ui/avatar.h"
#include "platform/zarn_ui/button.h"
#include "platform/zarn_ui/floating_placement.h"
#include "platform/zarn_ui/format.h"
#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/text_renderer.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/tooltip_host.h"
#include "platform/zarn_ui/transition.h"
#include "platform/zarn_ui/video_player.h"

namespace zarn_ui {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(FormatBytes, Table) {
  const std::vector<std::pair<std::uint64_t, std::string>> cases = {
      {0, "0 B"},
      {1, "1 B"},
      {1023, "1023 B"},
      {1024, "1.0 KB"},
      {1126, "1.1 KB"},
      {1536, "1.5 KB"},
      {1048524, "1023.9 KB"},
      {1048525, "1.0 MB"},  // 1023.95 KB rounds up to 1024.0 KB, which is written as MB
      {1048575, "1.0 MB"},
      {33554432, "32.0 MB"},
      {5ull << 30, "5.0 GB"},
      {(1ull << 40) + (1ull << 39), "1.5 TB"},
      {1ull << 60, "1.0 EB"},
      {std::numeric_limits<std::uint64_t>::max(), "16.0 EB"},
  };
  for (const auto& [count, want] : cases) {
    SCOPED_TRACE(count);
    EXPECT_EQ(format::bytes(count), want);
  }
}

TEST(AvatarInitials, Table) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Lena Marsh", "LM"},
      {"lena marsh dev", "LM"},
      {"lena.marsh-dev", "LM"},
      {"  Owen  ", "O"},
      {"", ""},
      {"   ", ""},
      {"élodie durand", "ÉD"},
      {"(Owen) Park", "OP"},
      {"🚀 Rocket Team", "RT"},
      {"🚀", ""},
      {"山田 太郎", "山太"},
      {"ßig deal", "SSD"},
      {"e\xCC\x81mile zola", "E\xCC\x81Z"},  // the combining accent stays with its letter
      {"123 go", "1G"},
      {"a\tb\nc", "AB"},
      {"\xFF\xFE", ""},
  };
  for (const auto& [name, want] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Avatar::initials_for_name(name), want);
  }
}

TEST(TransitionTest, EasesReversesAndSettles) {
  const Clock::time_point t0{};
  Transition t(200ms);
  EXPECT_EQ(t.value(), 0);
  EXPECT_FALSE(t.is_animating());

  t.set_open(true, t0);
  EXPECT_TRUE(t.is_animating());
  t.tick(t0 + 100ms);
  EXPECT_NEAR(t.value(), 0.5, 1e-9);

  // Reversing half-way continues from the current value, it does not jump.
  t.set_open(false, t0 + 100ms);
  EXPECT_NEAR(t.value(), 0.5, 1e-9);
  t.tick(t0 + 150ms);
  EXPECT_NEAR(t.progress(), 0.25, 1e-9);
  EXPECT_NEAR(t.value(), 0.15625, 1e-9);
  // A clock that steps back holds the value.
  t.tick(t0 + 120ms);
  EXPECT_NEAR(t.progress(), 0.25, 1e-9);
  t.tick(t0 + 10s);
  EXPECT_EQ(t.value(), 0);
  EXPECT_FALSE(t.is_animating());
  EXPECT_FALSE(t.is_open());
}

TEST(TransitionTest, RepeatedTargetDoesNotRestart) {
  const Clock::time_point t0{};
  Transition t(200ms);
  t.set_open(true, t0);
  t.tick(t0 + 150ms);
  t.set_open(true, t0 + 150ms);
  t.tick(t0 + 200ms);
  EXPECT_EQ(t.value(), 1);
  EXPECT_FALSE(t.is_animating());
}

TEST(TransitionTest, ZeroDurationAndSnapAreImmediate) {
  const Clock::time_point t0{};
  Transition t(0ms);
  t.set_open(true, t0);
  EXPECT_EQ(t.value(), 1);
  EXPECT_FALSE(t.is_animating());

  Transition u(200ms);
  u.snap(true);
  EXPECT_EQ(u.value(), 1);
  EXPECT_FALSE(u.is_animating());
  u.set_open(false, t0);
  u.tick(t0 + 50ms);
  u.set_duration(0ms);  // reduced motion switched on mid-way
  EXPECT_EQ(u.value(), 0);
  EXPECT_FALSE(u.is_animating());
}

namespace fs = floating_surface;

class FloatingPlacementTest : public ::testing::Test {
 protected:
  FloatingPlacementTest() {
    p.card_video_size = {200, 100};
    p.set_attached_chrome({12, 40, 12, 116});
  }
  Rect card() const { return p.card_rect(app, area); }
  static bool inside(const Rect& r, const Rect& outer) {
    return r.x0 >= outer.x0 && r.y0 >= outer.y0 && r.x1 <= outer.x1 && r.y1 <= outer.y1;
  }

  fs::FloatingPlacement p;
  Rect app{0, 0, 1280, 800};
  Rect area{0, 0, 1280, 800};
  Clock::time_point t0{};
};

TEST_F(FloatingPlacementTest, AttachedCardSitsBottomRightAndFollowsResizes) {
  // Card = 224 x 256 (video plus chrome), kept 16 from the edges.
  EXPECT_EQ(card(), Rect::from_xywh(1280 - 16 - 224, 800 - 16 - 256, 224, 256));
  EXPECT_EQ(p.rect(app, area), Rect::from_xywh(1280 - 16 - 212, 800 - 16 - 216, 200, 100));
  area = {0, 0, 1000, 600};
  EXPECT_EQ(card(), Rect::from_xywh(1000 - 16 - 224, 600 - 16 - 256, 224, 256));
  // Without a content area the application bounds are used.
  EXPECT_EQ(p.card_rect(app, Rect{}), Rect::from_xywh(1280 - 16 - 224, 800 - 16 - 256, 224, 256));
  // Taller chrome (the participant grid opening) grows the card upwards, still inside.
  p.set_attached_chrome({12, 40, 12, 156});
  EXPECT_TRUE(inside(card(), area));
  EXPECT_EQ(card().y1, 600 - 16);
}

TEST_F(FloatingPlacementTest, DragInsideDropsWhereReleasedAndKeepsRelativePlace) {
  const Rect start = card();
  const Point grab{start.x0 + 20, start.y0 + 10};
  p.begin_drag(grab, area);
  EXPECT_TRUE(p.is_dragging());
  EXPECT_EQ(p.update_drag({grab.x - 500, grab.y - 300}, area), fs::DragUpdate::Moved);
  EXPECT_EQ(card(), Rect::from_xywh(start.x0 - 500, start.y0 - 300, 224, 256));
  p.end_drag(t0);
  EXPECT_TRUE(p.is_attached());
  const Rect dropped = card();
  EXPECT_EQ(dropped, Rect::from_xywh(start.x0 - 500, start.y0 - 300, 224, 256));
  // A larger window keeps the card at the same fraction of the free space.
  area = {0, 0, 2560, 1600};
  const double fx = (dropped.x0 - 16) / (1280 - 32 - 224);
  EXPECT_NEAR(card().x0, 16 + fx * (2560 - 32 - 224), 1e-9);
}

TEST_F(FloatingPlacementTest, DropOverhangingTheEdgeSlidesBackInside) {
  const Rect start = card();
  const Point grab{start.x0 + 20, start.y0 + 10};
  p.begin_drag(grab, area);
  // Pointer still inside the area, card hanging over the right edge.
  EXPECT_EQ(p.update_drag({1270, grab.y}, area), fs::DragUpdate::Moved);
  p.end_drag(t0);
  EXPECT_EQ(p.state(), fs::PlacementState::HandingOver);
  EXPECT_TRUE(p.is_handoff_animating());
  p.tick(t0 + 100ms);
  const Rect mid = card();
  EXPECT_GT(mid.x1, 1280 - 16) << "still sliding";
  p.tick(t0 + 1s);
  EXPECT_TRUE(p.is_attached());
  EXPECT_FALSE(p.is_handoff_animating());
  EXPECT_EQ(card().x1, 1280 - 16);
}

TEST_F(FloatingPlacementTest, DraggingOutDetachesAndReattachingSlidesBack) {
  const Rect start = card();
  EXPECT_EQ(p.update_drag({0, 0}, area), fs::DragUpdate::Ignored) << "no drag running";
  p.begin_drag({start.x0 + 20, start.y0 + 10}, area);
  EXPECT_EQ(p.update_drag({1400, 300}, area), fs::DragUpdate::LeaveApp);
  const Rect left_at = card();
  p.end_drag(t0);
  EXPECT_EQ(p.state(), fs::PlacementState::Detached);
  EXPECT_EQ(card(), left_at);
  EXPECT_TRUE(p.is_handoff_animating());
  EXPECT_NE(p.presentation_transform(left_at), fs::PresentationTransform{});
  p.tick(t0 + 1s);
  EXPECT_FALSE(p.is_handoff_animating());
  EXPECT_EQ(p.presentation_transform(left_at), fs::PresentationTransform{});

  // The desktop moves the surface: the stored rectangle follows.
  p.shift_by(-30, 5);
  EXPECT_EQ(card(), Rect::from_xywh(left_at.x0 - 30, left_at.y0 + 5, 224, 256));
  p.mark_detached();
  EXPECT_EQ(p.state(), fs::PlacementState::Detached);

  p.reattach_to_app(area, app, t0 + 2s);
  EXPECT_EQ(p.state(), fs::PlacementState::HandingOver);
  p.tick(t0 + 2s + 50ms);
  EXPECT_FALSE(inside(card(), area)) << "starts from the detached place";
  p.tick(t0 + 3s);
  EXPECT_TRUE(p.is_attached());
  EXPECT_TRUE(inside(card(), area.inset(16)));
  // Reattaching an attached card changes nothing.
  const Rect settled = card();
  p.confirm_app_adoption(app, t0 + 4s);
  EXPECT_TRUE(p.is_attached());
  EXPECT_EQ(card(), settled);
}

TEST_F(FloatingPlacementTest, DetachedCardDraggedBackOverTheAppReattachesOnDrop) {
  p.detach_to_desktop(Rect::from_xywh(760, 300, 224, 256), t0);
  p.tick(t0 + 1s);
  // Grabbed 18 above the card's top edge, as a title bar above the content would be.
  p.begin_drag({760 + 112, 282}, area);
  EXPECT_EQ(p.update_drag({720, 210}, area), fs::DragUpdate::Moved);
  EXPECT_EQ(card(), Rect::from_xywh(720 - 112, 228, 224, 256));
  p.end_drag(t0 + 2s);
  EXPECT_TRUE(p.is_attached()) << "dropped fully inside: no slide needed";
  EXPECT_EQ(card(), Rect::from_xywh(608, 228, 224, 256));
}

TEST_F(FloatingPlacementTest, PinHoldsTheHandoffLookForItsDuration) {
  EXPECT_FALSE(p.is_handoff_animating());
  p.pin_handoff_for_visual_review(1000ms, t0);
  p.tick(t0 + 999ms);
  EXPECT_TRUE(p.is_handoff_animating());
  const fs::PresentationTransform pinned = p.presentation_transform(card());
  EXPECT_LT(pinned.scale, 1);
  EXPECT_LT(pinned.alpha, 1);
  p.tick(t0 + 1000ms);
  EXPECT_FALSE(p.is_handoff_animating());
  EXPECT_EQ(p.presentation_transform(card()), fs::PresentationTransform{});
  p.pin_handoff_for_visual_review(0ms, t0);
  EXPECT_FALSE(p.is_handoff_animating());
}

TEST_F(FloatingPlacementTest, SurfaceEventForAnAttachedCardDetachesItInPlace) {
  const Rect here = card();
  p.mark_detached();
  EXPECT_EQ(p.state(), fs::PlacementState::Detached);
  EXPECT_EQ(card(), here);
}

class PaintedTest : public ::testing::Test {
 protected:
  PaintedTest()
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200)),
        cr(cairo_create(surface)) {}
  ~PaintedTest() override {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  std::uint32_t pixel(int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    return reinterpret_cast<const std::uint32_t*>(data +
                                                  y * cairo_image_surface_get_stride(surface))[x];
  }

  cairo_surface_t* surface;
  cairo_t* cr;
  TextRenderer text;
  Theme theme = Theme::dark();
};

TEST_F(PaintedTest, TooltipWaitsThenShowsAndSwitchesWarm) {
  TooltipHost tips;
  const Tooltip a{"Send message", Rect::from_xywh(100, 100, 20, 20)};
  const Tooltip b{"Insert emoji", Rect::from_xywh(130, 100, 20, 20)};
  const Clock::time_point t0{};
  tips.on_pointer(a, t0);
  EXPECT_TRUE(tips.is_waiting());
  tips.tick(t0 + 300ms);
  tips.on_pointer(a, t0 + 300ms);  // the same target does not restart the wait
  tips.tick(t0 + 499ms);
  EXPECT_EQ(tips.visible(), nullptr);
  tips.tick(t0 + 500ms);
  ASSERT_NE(tips.visible(), nullptr);
  EXPECT_EQ(tips.visible()->text, "Send message");
  EXPECT_FALSE(tips.is_waiting());

  tips.on_pointer(b, t0 + 600ms);
  ASSERT_NE(tips.visible(), nullptr) << "moving between targets while shown switches at once";
  EXPECT_EQ(tips.visible()->text, "Insert emoji");

  tips.on_pointer(std::nullopt, t0 + 700ms);
  EXPECT_EQ(tips.visible(), nullptr);
  EXPECT_FALSE(tips.is_waiting());
  tips.on_pointer(a, t0 + 800ms);
  EXPECT_NE(tips.visible(), nullptr) << "within the warm window";
  tips.on_pointer(std::nullopt, t0 + 900ms);
  tips.on_pointer(b, t0 + 2s);
  EXPECT_EQ(tips.visible(), nullptr) << "after the warm window the delay applies again";
  tips.on_pointer(Tooltip{"", b.anchor}, t0 + 2s);
  EXPECT_FALSE(tips.is_waiting()) << "empty text asks for no tooltip";
}

TEST_F(PaintedTest, TooltipBubbleStaysInsideBounds) {
  TooltipHost tips;
  const Rect bounds{0, 0, 200, 200};
  const Clock::time_point t0{};
  struct Case {
    const char* name;
    Rect anchor;
    bool above;
  };
  const std::vector<Case> cases = {
      {"middle: below the anchor", Rect::from_xywh(90, 60, 20, 20), false},
      {"bottom edge: above the anchor", Rect::from_xywh(90, 180, 20, 20), true},
      {"right edge: pulled left", Rect::from_xywh(185, 60, 15, 20), false},
      {"left edge: pulled right", Rect::from_xywh(0, 60, 10, 20), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tips.on_pointer(std::nullopt, t0);
    tips.on_pointer(Tooltip{"Show conversation navigation", c.anchor}, t0 + 10s);
    const Rect r = tips.bubble_rect(text, theme, bounds);
    EXPECT_GE(r.x0, bounds.x0);
    EXPECT_LE(r.x1, bounds.x1);
    EXPECT_GE(r.y0, bounds.y0);
    EXPECT_LE(r.y1, bounds.y1);
    EXPECT_EQ(r.y1 <= c.anchor.y0, c.above);
  }
}

TEST_F(PaintedTest, ButtonMeasuresAndDropsLabelWhenNarrow) {
  Button b("Mute", "🎤");
  const Size full = b.measure(text, theme);
  EXPECT_EQ(full.height, theme.button.height);
  const double icon_only = b.icon_only_width(text, theme);
  EXPECT_LT(icon_only, full.width);
  b.set_label("Mute microphone for everyone");
  EXPECT_GT(b.measure(text, theme).width, full.width);

  // Narrow: only the icon, centred; the right part of the button holds no label ink.
  b.set_style(ButtonStyle::Ghost);
  {
    Painter painter(cr, 1, text);
    b.draw(painter, theme, Rect::from_xywh(0, 0, icon_only, 34));
  }
  const auto node = b.access_node("mute", Rect::from_xywh(0, 0, 50, 34), AccessRole::Toggle);
  EXPECT_EQ(node.label, "Mute microphone for everyone");
  EXPECT_FALSE(node.selected);
  b.set_active(true);
  b.set_enabled(false);
  const auto toggled = b.access_node("x", {});
  EXPECT_TRUE(toggled.selected);
  EXPECT_TRUE(toggled.disabled);
}

TEST_F(PaintedTest, AvatarDrawsColourOrPicture) {
  Avatar avatar(Avatar::initials_for_name("Lena Marsh"), Color::rgb(0x00FF00));
  {
    Painter painter(cr, 1, text);
    avatar.draw(painter, {50, 50}, 30);
  }
  EXPECT_EQ(pixel(50, 25), 0xFF00FF00u) << "inside the circle, away from the letters";
  EXPECT_EQ(pixel(5, 5), 0u) << "outside the circle";

  cairo_surface_t* red = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
  cairo_t* rc = cairo_create(red);
  cairo_set_source_rgb(rc, 1, 0, 0);
  cairo_paint(rc);
  cairo_destroy(rc);
  avatar.set_image(red);
  cairo_surface_destroy(red);  // the avatar holds its own reference
  {
    Painter painter(cr, 1, text);
    avatar.draw(painter, {150, 150}, 30);
  }
  EXPECT_EQ(pixel(150, 150), 0xFFFF0000u);
}

TEST_F(PaintedTest, VideoPlayerConvertsValidatesAndFits) {
  VideoPlayer player;
  EXPECT_FALSE(player.has_video());
  // 2x1: opaque red, half-transparent white (premultiplied to 0x80 per channel).
  const std::vector<std::uint8_t> px = {255, 0, 0, 255, 255, 255, 255, 128};
  ASSERT_TRUE(player.feed(px, 2, 1));
  ASSERT_TRUE(player.has_video());
  EXPECT_EQ(player.frame_size(), (Size{2, 1}));
  const auto* data =
      reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(player.surface()));
  EXPECT_EQ(data[0], 0xFFFF0000u);
  EXPECT_EQ(data[1], 0x80808080u);

  struct Bad {
    const char* name;
    std::size_t bytes;
    int w;
    int h;
    std::size_t stride;
  };
  const std::vector<Bad> bad = {
      {"zero width", 16, 0, 1, 0},
      {"negative height", 16, 2, -1, 0},
      {"absurd size", 16, 100000, 100000, 0},
      {"short buffer", 7, 2, 1, 0},
      {"stride shorter than a row", 64, 2, 2, 4},
      {"stride makes it too short", 15, 2, 2, 12},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    const std::vector<std::uint8_t> buf(b.bytes, 7);
    const auto r = player.feed(buf, b.w, b.h, b.stride);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.error().empty());
    EXPECT_EQ(player.frame_size(), (Size{2, 1})) << "the previous picture stays";
  }
  EXPECT_EQ(player.frames_shown(), 1u);

  // Padded rows: the padding is skipped, the last row needs no padding.
  const std::vector<std::uint8_t> padded = {0, 0,   255, 255, 9, 9, 9, 9,  // row 0 + 4 padding
                                            0, 255, 0,   255};
  ASSERT_TRUE(player.feed(padded, 1, 2, 8));
  data = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(player.surface()));
  const int stride = cairo_image_surface_get_stride(player.surface()) / 4;
  EXPECT_EQ(data[0], 0xFF0000FFu);
  EXPECT_EQ(data[stride], 0xFF00FF00u);

  // Aspect fit: a 1x2 picture in a 100x100 area is 50 wide, centred.
  EXPECT_EQ(player.fitted_rect(Rect{0, 0, 100, 100}), (Rect{25, 0, 75, 100}));
  {
    Painter painter(cr, 1, text);
    player.draw(painter, Rect{0, 0, 100, 100});
  }
  EXPECT_EQ(pixel(10, 50), 0xFF000000u) << "letterbox";
  EXPECT_EQ(pixel(50, 10), 0xFF0000FFu) << "top half of the picture";
  EXPECT_EQ(pixel(50, 90), 0xFF00FF00u) << "bottom half";

  player.clear();
  EXPECT_FALSE(player.has_video());
}

TEST(VideoPlayerDecoder, FeedFrameGoesThroughTheDecoder) {
  VideoPlayer player;
  const std::vector<std::uint8_t> payload = {1, 2, 3};
  EXPECT_FALSE(player.feed_frame(payload)) << "no decoder installed";

  int calls = 0;
  player.set_decoder(
      [&](std::span<const std::uint8_t> bytes) -> zarn::Result<std::optional<VideoFrame>> {
        ++calls;
        if (bytes.empty()) return zarn::make_error("empty payload");
        if (bytes[0] == 0) return std::optional<VideoFrame>{};  // needs more input
        return std::optional<VideoFrame>{VideoFrame{{10, 20, 30, 255}, 1, 1}};
      });
  EXPECT_FALSE(player.feed_frame({}));
  const std::vector<std::uint8_t> pending = {0};
  EXPECT_TRUE(player.feed_frame(pending));
  EXPECT_FALSE(player.has_video());
  EXPECT_TRUE(player.feed_frame(payload));
  EXPECT_TRUE(player.has_video());
  EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace zarn_ui
