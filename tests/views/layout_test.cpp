#include "views/layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace chat::views {
namespace {

using Clock = Flap::Clock;
using std::chrono::milliseconds;

const Clock::time_point kStart = Clock::time_point{} + std::chrono::hours(1);

TEST(LayoutFlags, Breakpoints) {
  const struct {
    double width;
    double scale;
    bool narrow;
    bool compact;
  } cases[] = {
      {759, 1, true, true},    {760, 1, false, true},   {1039, 1, false, true},
      {1040, 1, false, false}, {1600, 2, false, true},  {1519, 2, true, true},
      {2080, 2, false, false}, {900, 0.5, false, true},  // below 1 counts as 1
      {700, 0, true, true},    {900, NAN, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " at scale " << c.scale);
    const auto flags = layout_flags({100, 0, 100 + c.width, 500}, c.scale);
    ASSERT_TRUE(flags.has_value());
    EXPECT_EQ(flags->narrow, c.narrow);
    EXPECT_EQ(flags->compact, c.compact);
  }
  EXPECT_FALSE(layout_flags({0, 0, 0.5, 500}, 1));
  EXPECT_FALSE(layout_flags({0, 0, 1.5, 500}, 2));
  EXPECT_FALSE(layout_flags({10, 0, 0, 500}, 1));
}

TEST(FlapTest, NewFlapFollowsItsPreference) {
  const Flap left = Flap::make(true, kStart);
  const Flap right = Flap::make(false, kStart);
  EXPECT_EQ(left.progress, 1);
  EXPECT_TRUE(left.target());
  EXPECT_EQ(right.progress, 0);
  EXPECT_FALSE(right.target());
  EXPECT_FALSE(right.visible());
  EXPECT_EQ(left.last_tick, kStart);
}

TEST(FlapTest, FirstCollapseJumpsAndLaterChangesClearTheOverride) {
  Flap left = Flap::make(true, kStart);
  left.set_collapsed(true);  // first call: straight to hidden, nothing to animate
  EXPECT_EQ(left.progress, 0);
  EXPECT_FALSE(left.tick(kStart + milliseconds(16)));

  left.toggle();
  EXPECT_TRUE(left.target());
  left.set_collapsed(true);  // unchanged: the override survives
  EXPECT_TRUE(left.target());
  EXPECT_EQ(left.override_state, Flap::Override::Shown);

  left.set_collapsed(false);  // crossing the breakpoint returns to the default
  EXPECT_EQ(left.override_state, Flap::Override::None);
  EXPECT_TRUE(left.target());
  EXPECT_EQ(left.progress, 0);  // a later change animates instead of jumping
  EXPECT_TRUE(left.tick(kStart + milliseconds(32)));

  // Shrinking past 1040 while the right pane was toggled shown: it follows the new default.
  Flap right = Flap::make(false, kStart);
  right.set_collapsed(false);
  right.toggle();
  EXPECT_TRUE(right.target());
  right.set_collapsed(true);
  EXPECT_FALSE(right.target());
}

TEST(FlapTest, ToggleFlipsTheCurrentTarget) {
  Flap f = Flap::make(true, kStart);
  f.set_collapsed(false);
  f.toggle();
  EXPECT_EQ(f.override_state, Flap::Override::Hidden);
  f.toggle();
  EXPECT_EQ(f.override_state, Flap::Override::Shown);
  Flap narrow = Flap::make(true, kStart);
  narrow.set_collapsed(true);
  narrow.toggle();
  EXPECT_EQ(narrow.override_state, Flap::Override::Shown);
}

TEST(FlapTest, TickEasesWithAtMostTheMaximumStep) {
  const struct {
    milliseconds elapsed;
    double dt;
  } cases[] = {{milliseconds(16), 0.016},
               {milliseconds(100), 0.1},
               {milliseconds(5000), 0.1},
               {milliseconds(-50), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.elapsed.count());
    Flap f = Flap::make(false, kStart);
    f.set_collapsed(false);
    f.toggle();
    const bool moved = f.tick(kStart + c.elapsed);
    EXPECT_NEAR(f.progress, 1 - std::exp(-14 * c.dt), 1e-12);
    EXPECT_TRUE(moved);  // still short of the target, so the animation goes on
    EXPECT_EQ(f.last_tick, kStart + c.elapsed);
  }
}

TEST(FlapTest, SettlesExactlyOnTheTarget) {
  Flap f = Flap::make(false, kStart);
  f.set_collapsed(false);
  f.toggle();
  auto now = kStart;
  int moving_ticks = 0;
  for (int i = 0; i < 200; ++i) {
    now += milliseconds(16);
    if (!f.tick(now)) break;
    ++moving_ticks;
    EXPECT_LT(f.progress, 1);
  }
  EXPECT_EQ(f.progress, 1);
  EXPECT_GT(moving_ticks, 10);
  EXPECT_LT(moving_ticks, 60);
  EXPECT_FALSE(f.tick(now + milliseconds(16)));
  EXPECT_EQ(f.progress, 1);
}

TEST(FlapTest, EasedProgressAndScrim) {
  Flap f;
  const struct {
    double progress;
    double eased;
    double scrim;
  } cases[] = {{0, 0, 0}, {0.5, 0.875, 0.275}, {1, 1, 0.55}, {-0.2, 0, 0}, {1.3, 1, 0.55}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.progress);
    f.progress = c.progress;
    EXPECT_DOUBLE_EQ(f.eased(), c.eased);
    EXPECT_DOUBLE_EQ(scrim_opacity(f), c.scrim);
  }
  f.progress = 0.0005;
  EXPECT_FALSE(f.visible());
  f.progress = 0.002;
  EXPECT_TRUE(f.visible());
}

// Flaps as ChatApp leaves them after the first frame at `bounds` (collapsed once, no motion).
struct Panes {
  LayoutFlags flags;
  Flap left = Flap::make(true, kStart);
  Flap right = Flap::make(false, kStart);
  Panes(const zarn_ui::Rect& bounds, double scale) {
    flags = *layout_flags(bounds, scale);
    left.set_collapsed(flags.narrow);
    right.set_collapsed(flags.compact);
  }
  void settle() {
    auto now = kStart;
    for (int i = 0; i < 100; ++i) {
      now += milliseconds(16);
      left.tick(now);
      right.tick(now);
    }
  }
};

TEST(PaneGeometryTest, EdgesAtTheBreakpoints) {
  const double x0 = 100;
  const struct {
    const char* name;
    double width;
    bool toggle_left;
    bool toggle_right;
    bool thread;
    double left_pane_x;
    double conv_left;
    double conv_right;
    double right_x0;
    double content_x;
  } cases[] = {
      {"wide", 1280, false, false, false, x0, x0 + 316, x0 + 1280, x0 + 920, x0 + 334},
      {"wide, right shown", 1280, false, true, false, x0, x0 + 316, x0 + 920, x0 + 920, x0 + 334},
      {"wide, left hidden", 1280, true, false, false, x0, x0, x0 + 1280, x0 + 920, x0 + 54},
      {"compact", 900, false, false, false, x0, x0 + 316, x0 + 900, x0 + 900, x0 + 334},
      {"compact, right shown", 900, false, true, false, x0, x0 + 316, x0 + 900, x0 + 540, x0 + 334},
      {"narrow", 700, false, false, false, x0 - 316, x0, x0 + 700, x0 + 700, x0 + 54},
      {"narrow, left shown", 700, true, false, false, x0, x0, x0 + 700, x0 + 700, x0 + 54},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const zarn_ui::Rect bounds{x0, 20, x0 + c.width, 820};
    Panes p(bounds, 1);
    if (c.toggle_left) p.left.toggle();
    if (c.toggle_right) p.right.toggle();
    p.settle();
    const PaneGeometry g = pane_geometry(bounds, 1, p.flags, p.left, p.right, c.thread);
    EXPECT_DOUBLE_EQ(g.left_pane_x, c.left_pane_x);
    EXPECT_DOUBLE_EQ(g.conversation_left, c.conv_left);
    EXPECT_DOUBLE_EQ(g.conversation_right, c.conv_right);
    EXPECT_EQ(g.right_pane, (zarn_ui::Rect{c.right_x0, 20, c.right_x0 + 360, 820}));
    EXPECT_EQ(g.heading, (zarn_ui::Rect{c.conv_left, 20, c.conv_right, 80}));
    EXPECT_DOUBLE_EQ(g.heading_content_x, c.content_x);
  }
}

TEST(PaneGeometryTest, ThreadInCompactCoversEverythingAndClosingReturnsTheConversation) {
  const zarn_ui::Rect bounds{0, 0, 900, 700};
  Panes p(bounds, 1);
  p.right.override_state = Flap::Override::Shown;  // what opening a thread does
  p.settle();
  const PaneGeometry open = pane_geometry(bounds, 1, p.flags, p.left, p.right, true);
  EXPECT_EQ(open.right_pane, bounds);
  EXPECT_DOUBLE_EQ(open.conversation_right, 900);

  p.right.override_state = Flap::Override::None;
  p.settle();
  const PaneGeometry closed = pane_geometry(bounds, 1, p.flags, p.left, p.right, false);
  EXPECT_FALSE(p.right.visible());
  EXPECT_DOUBLE_EQ(closed.right_pane.x0, 900);
  EXPECT_DOUBLE_EQ(closed.conversation_left, 316);
  EXPECT_DOUBLE_EQ(closed.conversation_right, 900);
}

TEST(PaneGeometryTest, SlidingPanesFollowEasedProgress) {
  const zarn_ui::Rect bounds{0, 0, 700, 600};
  Panes p(bounds, 1);
  p.left.progress = 0.5;
  p.right.progress = 0.5;
  const PaneGeometry g = pane_geometry(bounds, 1, p.flags, p.left, p.right, false);
  EXPECT_DOUBLE_EQ(g.left_pane_x, -316 * 0.125);
  EXPECT_DOUBLE_EQ(g.right_pane.x0, 700 - 360 * 0.875);
}

TEST(PaneGeometryTest, HeadingScalesWithText) {
  const zarn_ui::Rect bounds{0, 10, 1600, 810};
  Panes p(bounds, 2);
  EXPECT_TRUE(p.flags.compact);
  EXPECT_FALSE(p.flags.narrow);
  const PaneGeometry g = pane_geometry(bounds, 2, p.flags, p.left, p.right, false);
  EXPECT_DOUBLE_EQ(g.heading.y1, 130);
  EXPECT_TRUE(g.left_docked);
}

TEST(ComposerRectTest, GrowsWithTheDraftBetweenBounds) {
  const struct {
    double scale;
    double text_h;
    double height;
  } cases[] = {{1, 0, 76},   {1, 19, 76},   {1, 49, 106},  {1, 500, 200}, {2, 10, 152},
               {2, 78, 192}, {2, 900, 400}, {1, NAN, 200}, {0, 49, 106}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.scale << " " << c.text_h);
    const zarn_ui::Rect r = composer_rect(316, 1280, 800, c.scale, c.text_h);
    EXPECT_DOUBLE_EQ(r.height(), c.height);
    EXPECT_DOUBLE_EQ(r.x0, 330);
    EXPECT_DOUBLE_EQ(r.x1, 1266);
    EXPECT_DOUBLE_EQ(r.y1, 788);
  }
  EXPECT_DOUBLE_EQ(composer_wrap_width(316, 1280), 916);
  EXPECT_DOUBLE_EQ(composer_wrap_width(0, 60), 40);
  EXPECT_FALSE(composer_rect(0, 20, 800, 1, 0).width() < 0);
}

}  // namespace
}  // namespace chat::views
