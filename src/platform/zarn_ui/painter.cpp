#include "platform/zarn_ui/painter.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace zarn_ui {

namespace {

void set_source(cairo_t* cr, Color c) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

constexpr int kShadowSteps = 4;

}  // namespace

void rounded_rect_path(cairo_t* cr, const Rect& r, double radius) {
  double w = r.width();
  double h = r.height();
  double rad = std::clamp(radius, 0.0, std::min(w, h) / 2);
  if (rad <= 0) {
    cairo_rectangle(cr, r.x0, r.y0, w, h);
    return;
  }
  constexpr double kPi = std::numbers::pi;
  cairo_new_sub_path(cr);
  cairo_arc(cr, r.x1 - rad, r.y0 + rad, rad, -kPi / 2, 0);
  cairo_arc(cr, r.x1 - rad, r.y1 - rad, rad, 0, kPi / 2);
  cairo_arc(cr, r.x0 + rad, r.y1 - rad, rad, kPi / 2, kPi);
  cairo_arc(cr, r.x0 + rad, r.y0 + rad, rad, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

Painter::Painter(cairo_t* cr, double scale, TextRenderer& text)
    : cr_(cr), scale_(scale > 0 ? scale : 1), text_(text) {
  cairo_save(cr_);
  cairo_scale(cr_, scale_, scale_);
}

Painter::~Painter() {
  // Unbalanced pushes are a programmer error; unwind them so the cairo_t stays usable.
  assert(depth_ == 0);
  while (!stack_.empty()) {
    if (stack_.back() == Push::Layer) {
      cairo_pop_group_to_source(cr_);
      cairo_paint(cr_);
    }
    cairo_restore(cr_);
    stack_.pop_back();
  }
  cairo_restore(cr_);
}

void Painter::clear(Color c) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  set_source(cr_, c);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void Painter::fill_rect(const Rect& r, Color c) {
  if (r.empty()) return;
  cairo_rectangle(cr_, r.x0, r.y0, r.width(), r.height());
  set_source(cr_, c);
  cairo_fill(cr_);
}

void Painter::stroke_rect(const Rect& r, Color c, double width) {
  stroke_rounded_rect(r, 0, c, width);
}

void Painter::fill_rounded_rect(const Rect& r, double radius, Color c) {
  if (r.empty()) return;
  rounded_rect_path(cr_, r, radius);
  set_source(cr_, c);
  cairo_fill(cr_);
}

void Painter::stroke_rounded_rect(const Rect& r, double radius, Color c, double width) {
  if (r.empty() || width <= 0) return;
  // The band between the edge and an inset copy, filled: the outline stays inside the
  // rectangle, and a fill rasterises faster than a stroke.
  Rect inner = r.inset(width);
  cairo_save(cr_);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
  rounded_rect_path(cr_, r, radius);
  if (!inner.empty()) rounded_rect_path(cr_, inner, std::max(0.0, radius - width));
  set_source(cr_, c);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void Painter::fill_circle(Point center, double radius, Color c) {
  if (radius <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, center.x, center.y, radius, 0, 2 * std::numbers::pi);
  set_source(cr_, c);
  cairo_fill(cr_);
}

void Painter::stroke_circle(Point center, double radius, Color c, double width) {
  if (radius <= 0 || width <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, center.x, center.y, radius, 0, 2 * std::numbers::pi);
  set_source(cr_, c);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Painter::line(Point a, Point b, Color c, double width) {
  if (width <= 0) return;
  cairo_move_to(cr_, a.x, a.y);
  cairo_line_to(cr_, b.x, b.y);
  set_source(cr_, c);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Painter::shadow(const Rect& r, double radius, const ShadowStyle& style) {
  if (r.empty() || style.color.a <= 0) return;
  Rect base{r.x0 + style.offset.x, r.y0 + style.offset.y, r.x1 + style.offset.x,
            r.y1 + style.offset.y};
  if (style.blur <= 0) {
    fill_rounded_rect(base, radius, style.color);
    return;
  }
  // Nested rings from the outer soft edge inwards; their alphas pile up towards the shape, which
  // approximates a blurred edge without an offscreen pass. A ring that encloses the shape is
  // filled only outside it: the shape covers that part, and filling it would cost most of the time.
  Color step = style.color.with_alpha(style.color.a / kShadowSteps);
  cairo_save(cr_);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
  // The edge is soft by construction; coarse antialiasing is invisible and much cheaper.
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_FAST);
  set_source(cr_, step);
  for (int i = 0; i < kShadowSteps; ++i) {
    double grow = style.blur * (1.0 - static_cast<double>(i) / kShadowSteps) - style.blur / 2;
    Rect ring{base.x0 - grow, base.y0 - grow, base.x1 + grow, base.y1 + grow};
    if (ring.empty()) continue;
    rounded_rect_path(cr_, ring, radius + std::max(0.0, grow));
    bool encloses = ring.x0 <= r.x0 && ring.y0 <= r.y0 && ring.x1 >= r.x1 && ring.y1 >= r.y1;
    if (encloses) rounded_rect_path(cr_, r, radius);
    cairo_fill(cr_);
  }
  cairo_restore(cr_);
}

void Painter::push_clip(const Rect& r, double radius) {
  cairo_save(cr_);
  stack_.push_back(Push::Clip);
  ++depth_;
  rounded_rect_path(cr_, r.empty() ? Rect{} : r, radius);
  cairo_clip(cr_);
}

void Painter::pop_clip() {
  pop(Push::Clip);
}

void Painter::push_layer(double alpha) {
  cairo_save(cr_);
  cairo_push_group(cr_);
  stack_.push_back(Push::Layer);
  layer_alpha_.push_back(std::clamp(alpha, 0.0, 1.0));
  ++depth_;
}

void Painter::pop_layer() {
  pop(Push::Layer);
}

void Painter::push_translate(double dx, double dy) {
  cairo_save(cr_);
  stack_.push_back(Push::Transform);
  ++depth_;
  cairo_translate(cr_, dx, dy);
}

void Painter::push_scale(double sx, double sy) {
  cairo_save(cr_);
  stack_.push_back(Push::Transform);
  ++depth_;
  cairo_scale(cr_, sx, sy);
}

void Painter::pop_transform() {
  pop(Push::Transform);
}

void Painter::pop(Push kind) {
  assert(!stack_.empty() && stack_.back() == kind);
  if (stack_.empty() || stack_.back() != kind) return;
  if (kind == Push::Layer) {
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, layer_alpha_.back());
    layer_alpha_.pop_back();
  }
  cairo_restore(cr_);
  stack_.pop_back();
  --depth_;
}

void Painter::draw_image(cairo_surface_t* image, const Rect& dest, ImageFit fit, double radius,
                         double alpha) {
  if (image == nullptr || dest.empty() || cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    return;
  }
  double iw = cairo_image_surface_get_width(image);
  double ih = cairo_image_surface_get_height(image);
  if (iw <= 0 || ih <= 0) return;
  double sx = dest.width() / iw;
  double sy = dest.height() / ih;
  if (fit == ImageFit::Contain) sx = sy = std::min(sx, sy);
  if (fit == ImageFit::Cover) sx = sy = std::max(sx, sy);
  double dw = iw * sx;
  double dh = ih * sy;
  double x = dest.x0 + (dest.width() - dw) / 2;
  double y = dest.y0 + (dest.height() - dh) / 2;

  cairo_save(cr_);
  rounded_rect_path(cr_, fit == ImageFit::Contain ? Rect{x, y, x + dw, y + dh} : dest, radius);
  cairo_clip(cr_);
  cairo_translate(cr_, x, y);
  cairo_scale(cr_, sx, sy);
  cairo_set_source_surface(cr_, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
  cairo_paint_with_alpha(cr_, std::clamp(alpha, 0.0, 1.0));
  cairo_restore(cr_);
}

Size Painter::draw_text(std::string_view text, Point origin, const TextStyle& style,
                        const TextLayoutOptions& options) {
  return text_.draw(*this, text, origin, style, options);
}

}  // namespace zarn_ui
