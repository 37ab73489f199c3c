#include "platform/zarn_ui/painter.h"

#include <gtest/gtest.h>

#include "platform/zarn_ui/surfaces.h"
#include "platform/zarn_ui/theme.h"
#include "test_pixels.h"

namespace zarn_ui {
namespace {

using testing::Canvas;
using testing::Rgba;

const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};

bool is_white(Rgba c) {
  return c.r == 255 && c.g == 255 && c.b == 255;
}
bool is_red(Rgba c) {
  return c.r > 240 && c.g < 15 && c.b < 15;
}

class PainterTest : public ::testing::Test {
 protected:
  TextRenderer text;
};

TEST_F(PainterTest, LogicalCoordinatesFollowTheScale) {
  Canvas canvas(100, 100);
  {
    Painter p(canvas.cr, 2, text);
    p.fill_rect(Rect::from_xywh(10, 10, 10, 10), kRed);  // device 20..40
  }
  EXPECT_TRUE(is_red(canvas.at(21, 21)));
  EXPECT_TRUE(is_red(canvas.at(38, 38)));
  EXPECT_TRUE(is_white(canvas.at(18, 18)));
  EXPECT_TRUE(is_white(canvas.at(41, 41)));
  // The painter leaves the cairo_t as it found it.
  cairo_matrix_t m;
  cairo_get_matrix(canvas.cr, &m);
  EXPECT_EQ(m.xx, 1);
  EXPECT_EQ(m.yy, 1);
}

TEST_F(PainterTest, RoundedRectLeavesCornersAndStrokeStaysInside) {
  Canvas canvas(60, 60);
  {
    Painter p(canvas.cr, 1, text);
    p.fill_rounded_rect(Rect::from_xywh(10, 10, 40, 40), 12, kRed);
  }
  EXPECT_TRUE(is_white(canvas.at(10, 10)));
  EXPECT_TRUE(is_red(canvas.at(30, 10)));
  EXPECT_TRUE(is_red(canvas.at(30, 30)));

  Canvas ring(60, 60);
  {
    Painter p(ring.cr, 1, text);
    p.stroke_rounded_rect(Rect::from_xywh(10, 10, 40, 40), 0, kRed, 4);
  }
  EXPECT_TRUE(is_red(ring.at(11, 30)));
  EXPECT_TRUE(is_white(ring.at(9, 30)));
  EXPECT_TRUE(is_white(ring.at(30, 30)));
}

TEST_F(PainterTest, ClipLayerAndTransformNest) {
  Canvas canvas(100, 100);
  {
    Painter p(canvas.cr, 1, text);
    p.push_clip(Rect::from_xywh(0, 0, 50, 100));
    p.fill_rect(Rect::from_xywh(0, 0, 100, 20), kRed);
    p.pop_clip();
    p.push_translate(0, 40);
    p.push_layer(0.5);
    p.fill_rect(Rect::from_xywh(0, 0, 100, 20), kBlue);
    p.fill_rect(Rect::from_xywh(0, 0, 100, 20), kBlue);  // a layer flattens overlaps
    p.pop_layer();
    p.pop_transform();
    p.fill_circle({50, 85}, 5, kRed);  // back at the original origin
    EXPECT_EQ(p.depth(), 0);
  }
  EXPECT_TRUE(is_red(canvas.at(25, 10)));
  EXPECT_TRUE(is_white(canvas.at(75, 10)));
  Rgba half = canvas.at(50, 50);
  EXPECT_NEAR(half.b, 255, 2);
  EXPECT_NEAR(half.r, 128, 3);
  EXPECT_TRUE(is_red(canvas.at(50, 85)));
  EXPECT_TRUE(is_white(canvas.at(50, 30)));
}

TEST_F(PainterTest, ShadowIsSoftAndBounded) {
  Canvas canvas(120, 120);
  Rect box = Rect::from_xywh(40, 40, 40, 40);
  {
    Painter p(canvas.cr, 1, text);
    p.shadow(box, 8, {12, {0, 4}, {0, 0, 0, 0.5}});
  }
  Rgba near_edge = canvas.at(60, 82);  // just below the box
  Rgba farther = canvas.at(60, 88);
  EXPECT_LT(near_edge.r, 255);
  EXPECT_LT(near_edge.r, farther.r);          // fades outwards
  EXPECT_TRUE(is_white(canvas.at(60, 100)));  // beyond blur + offset
  EXPECT_TRUE(is_white(canvas.at(10, 10)));
}

TEST_F(PainterTest, ImageFitModes) {
  // A 20x10 image: left half red, right half blue.
  cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 10);
  cairo_t* icr = cairo_create(img);
  cairo_set_source_rgb(icr, 1, 0, 0);
  cairo_rectangle(icr, 0, 0, 10, 10);
  cairo_fill(icr);
  cairo_set_source_rgb(icr, 0, 0, 1);
  cairo_rectangle(icr, 10, 0, 10, 10);
  cairo_fill(icr);
  cairo_destroy(icr);

  struct Case {
    ImageFit fit;
    Point probe;
    bool white;
  };
  // Destination is a 40x40 square at (10, 10).
  const Case cases[] = {
      {ImageFit::Contain, {30, 12}, true},   // letterbox above the image
      {ImageFit::Contain, {15, 30}, false},  // image row
      {ImageFit::Cover, {30, 12}, false},    // covered to the top
      {ImageFit::Fill, {12, 12}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fit));
    Canvas canvas(60, 60);
    {
      Painter p(canvas.cr, 1, text);
      p.draw_image(img, Rect::from_xywh(10, 10, 40, 40), c.fit);
    }
    EXPECT_EQ(is_white(canvas.at(static_cast<int>(c.probe.x), static_cast<int>(c.probe.y))),
              c.white);
    EXPECT_TRUE(is_white(canvas.at(5, 5)));
  }
  Canvas none(10, 10);
  {
    Painter p(none.cr, 1, text);
    p.draw_image(nullptr, Rect::from_xywh(0, 0, 10, 10), ImageFit::Fill);
  }
  EXPECT_TRUE(is_white(none.at(5, 5)));
  cairo_surface_destroy(img);
}

TEST_F(PainterTest, CardPaintsFillOutlineAndShadow) {
  Theme theme = Theme::light();
  Canvas canvas(120, 120);
  {
    Painter p(canvas.cr, 1, text);
    p.clear(theme.surface_base);
    surfaces::card(p, Rect::from_xywh(20, 20, 80, 60), theme,
                   {.elevation = surfaces::Elevation::Overlay, .fill = kRed});
    surfaces::separator(p, {20, 100}, 80, theme);
  }
  EXPECT_TRUE(is_red(canvas.at(60, 50)));
  Rgba base = canvas.at(5, 5);
  Rgba below = canvas.at(60, 84);
  EXPECT_LT(below.r, base.r);  // shadow under the card
  EXPECT_LT(canvas.at(60, 100).r, base.r);
}

}  // namespace
}  // namespace zarn_ui
