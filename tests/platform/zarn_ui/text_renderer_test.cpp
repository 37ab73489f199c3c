#include "platform/zarn_ui/text_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/zarn_ui/painter.h"
#include "test_pixels.h"

namespace zarn_ui {
namespace {

using testing::Canvas;

constexpr const char* kGrin = "\xF0\x9F\x98\x80";  // U+1F600

TEST(TextRendererTest, MeasureGrowsWithTextAndSize) {
  TextRenderer text;
  TextStyle style;
  Size one = text.measure("a", style);
  Size many = text.measure("aaaaaaaaaa", style);
  EXPECT_GT(one.width, 0);
  EXPECT_GT(many.width, one.width * 5);
  EXPECT_NEAR(many.height, one.height, 0.5);

  TextStyle big = style;
  big.size = style.size * 2;
  Size doubled = text.measure("aaaaaaaaaa", big);
  EXPECT_NEAR(doubled.width, many.width * 2, many.width * 0.15);

  TextStyle bold = style;
  bold.weight = FontWeight::Bold;
  EXPECT_GT(text.measure("mmmmmmmmmm", bold).width, text.measure("mmmmmmmmmm", style).width);
  EXPECT_EQ(text.measure("", style).width, 0);
  EXPECT_GT(text.line_height(style), style.size);
}

TEST(TextRendererTest, WrapWidthIsRespected) {
  TextRenderer text;
  TextStyle style;
  const std::string para = "the quick brown fox jumps over the lazy dog again and again";
  Size line = text.measure(para, style);
  for (double wrap : {60.0, 120.0, 200.0}) {
    SCOPED_TRACE(wrap);
    RichTextLayout l = text.layout(para, {}, style, {.wrap_width = wrap});
    EXPECT_LE(l.width(), wrap + 0.01);
    EXPECT_GT(l.line_count(), 1);
    EXPECT_GT(l.height(), line.height * 1.5);
  }
  // A single word longer than the width still breaks instead of overflowing.
  RichTextLayout word = text.layout(std::string(40, 'w'), {}, style, {.wrap_width = 50.0});
  EXPECT_LE(word.width(), 50.01);

  RichTextLayout cut =
      text.layout(para, {}, style, {.wrap_width = 80.0, .ellipsize = Ellipsize::End});
  EXPECT_TRUE(cut.is_ellipsized());
  EXPECT_EQ(cut.line_count(), 1);
  RichTextLayout two = text.layout(para, {}, style, {.wrap_width = 80.0, .max_lines = 2});
  EXPECT_EQ(two.line_count(), 2);
}

TEST(TextRendererTest, EmojiIsMeasuredAndDrawnInColour) {
  TextRenderer text;
  TextStyle style{32, FontWeight::Regular, {0, 0, 0, 1}};
  Size emoji = text.measure(kGrin, style);
  EXPECT_GT(emoji.width, 16);
  EXPECT_GT(emoji.height, 16);

  Canvas canvas(80, 80);
  {
    Painter p(canvas.cr, 1, text);
    p.draw_text(kGrin, {8, 8}, style);
  }
  // Black text on white stays grey; a colour glyph has pixels with clearly unequal channels.
  int coloured = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 80; ++x) {
      auto c = canvas.at(x, y);
      int spread = std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
      if (spread > 60) ++coloured;
    }
  }
  EXPECT_GT(coloured, 50);
}

TEST(TextRendererTest, SpansChangeShapingOnlyInTheirRange) {
  TextRenderer text;
  TextStyle base;
  const std::string s = "plain BIG plain";
  TextSpan big{.start = 6, .end = 9, .size = 28.0};
  Size plain = text.measure(s, base);
  Size rich = text.measure_rich(s, std::span(&big, 1), base);
  EXPECT_GT(rich.width, plain.width);
  EXPECT_GT(rich.height, plain.height);
  // Out-of-range and mid-character spans are clamped, not trusted.
  TextSpan wild{.start = 3, .end = 9999, .weight = FontWeight::Bold};
  TextSpan split{.start = 1, .end = 2, .weight = FontWeight::Bold};
  std::string emoji = std::string("a") + kGrin;
  EXPECT_GT(text.measure_rich(s, std::span(&wild, 1), base).width, 0);
  EXPECT_GT(text.measure_rich(emoji, std::span(&split, 1), base).width, 0);
}

TEST(TextRendererTest, InvalidUtf8IsReplacedNotDropped) {
  TextRenderer text;
  TextStyle style;
  struct Case {
    std::string input;
    std::string expect;
  };
  const Case cases[] = {
      {std::string("ab\xff"
                   "cd"),
       "ab\xEF\xBF\xBD"
       "cd"},
      {std::string("a\0b", 3),
       "a\xEF\xBF\xBD"
       "b"},
      {std::string("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    RichTextLayout l = text.layout(c.input, {}, style);
    EXPECT_EQ(l.text(), c.expect);
    EXPECT_GT(l.width(), 0);
  }
}

TEST(TextRendererTest, CacheHitsRepeatsAndEvictsLeastRecent) {
  TextRenderer text(2);
  TextStyle style;
  (void)text.measure("one", style);
  (void)text.measure("one", style);
  EXPECT_EQ(text.cache_stats().hits, 1u);
  EXPECT_EQ(text.cache_stats().misses, 1u);

  // Different wrap width or weight is a different entry.
  (void)text.measure("one", style, {.wrap_width = 10.0});
  EXPECT_EQ(text.cache_stats().misses, 2u);
  (void)text.measure("two", style);  // evicts "one" unwrapped
  EXPECT_EQ(text.cache_stats().entries, 2u);
  (void)text.measure("one", style);
  EXPECT_EQ(text.cache_stats().misses, 4u);

  // A colour change reuses the shape; drawing honours the new colour.
  TextStyle red = style;
  red.color = {1, 0, 0, 1};
  std::size_t before = text.cache_stats().misses;
  RichTextLayout l = text.layout("one", {}, red);
  EXPECT_EQ(text.cache_stats().misses, before);
  Canvas canvas(60, 30);
  {
    Painter p(canvas.cr, 1, text);
    TextStyle fat{24, FontWeight::Bold, {1, 0, 0, 1}};
    p.draw_text("one", {2, 0}, fat);
  }
  bool red_seen = false;
  for (int x = 0; x < 60 && !red_seen; ++x) {
    for (int y = 0; y < 30 && !red_seen; ++y) {
      auto c = canvas.at(x, y);
      red_seen = c.r > 200 && c.g < 80 && c.b < 80;
    }
  }
  EXPECT_TRUE(red_seen);
}

class RichTextLayoutTest : public ::testing::Test {
 protected:
  TextRenderer text;
  TextStyle style;
};

TEST_F(RichTextLayoutTest, HitTestInvertsCaretRect) {
  const std::string s = std::string("ab ") + kGrin + " e\xCC\x81 cd";  // emoji, e + combining acute
  RichTextLayout l = text.layout(s, {}, style);
  std::size_t i = 0;
  double last_x = -1;
  int steps = 0;
  while (true) {
    Rect caret = l.caret_rect(i);
    SCOPED_TRACE(i);
    EXPECT_GT(caret.x0, last_x);
    EXPECT_GT(caret.height(), 0);
    EXPECT_EQ(l.hit_test({caret.x0 + 0.5, caret.y0 + caret.height() / 2}), i);
    last_x = caret.x0;
    if (i == s.size()) break;
    std::size_t next = l.next_cursor(i);
    ASSERT_GT(next, i);
    EXPECT_EQ(l.prev_cursor(next), i);
    i = next;
    ++steps;
  }
  // a, b, space, emoji, space, e+accent, space, c, d: one stop per grapheme.
  EXPECT_EQ(steps, 9);
  EXPECT_EQ(l.hit_test({-50, -50}), 0u);
  EXPECT_EQ(l.hit_test({5000, 5}), s.size());
  EXPECT_EQ(l.next_cursor(s.size()), s.size());
  EXPECT_EQ(l.prev_cursor(0), 0u);
  // An index inside a multi-byte character is snapped, never split.
  EXPECT_EQ(l.caret_rect(4), l.caret_rect(3));
}

TEST_F(RichTextLayoutTest, WordsAndLinesMoveTheCaret) {
  const std::string s = "alpha beta gamma delta epsilon zeta eta theta";
  RichTextLayout l = text.layout(s, {}, style, {.wrap_width = 90.0});
  ASSERT_GT(l.line_count(), 2);
  EXPECT_EQ(l.next_word(0), 5u);
  EXPECT_EQ(l.next_word(5), 10u);
  EXPECT_EQ(l.prev_word(10), 6u);

  std::size_t down = l.move_line(0, 1);
  auto first = l.line_bounds(0);
  auto second = l.line_bounds(down);
  EXPECT_EQ(first.first, 0u);
  EXPECT_GE(down, first.second);
  EXPECT_GT(second.first, 0u);
  EXPECT_EQ(l.move_line(down, -1), 0u);
  EXPECT_EQ(l.move_line(0, -1), 0u);
  EXPECT_EQ(l.move_line(s.size(), 1), s.size());

  auto rects = l.selection_rects(2, s.size() - 2);
  EXPECT_EQ(static_cast<int>(rects.size()), l.line_count());
  for (std::size_t k = 1; k < rects.size(); ++k) EXPECT_GT(rects[k].y0, rects[k - 1].y0);
  EXPECT_TRUE(l.selection_rects(3, 3).empty());
}

TEST_F(RichTextLayoutTest, EmptyLayoutIsInert) {
  RichTextLayout l;
  EXPECT_TRUE(l.empty());
  EXPECT_EQ(l.hit_test({10, 10}), 0u);
  EXPECT_EQ(l.size(), Size{});
  EXPECT_TRUE(l.selection_rects(0, 10).empty());
  RichTextLayout copy = l;
  EXPECT_TRUE(copy.empty());
}

}  // namespace
}  // namespace zarn_ui
