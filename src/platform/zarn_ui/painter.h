// Painter: immediate-mode drawing in logical pixels over a cairo_t. The painter applies the
// device scale once at construction, so every coordinate given to it is logical. Every push
// (clip, layer, transform) must be matched by its pop; the destructor restores the cairo state
// it found. UI thread only; a Painter lives for one frame.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/zarn_ui/geometry.h"
#include "platform/zarn_ui/text_renderer.h"

namespace zarn_ui {

enum class ImageFit : std::uint8_t {
  Fill,     // stretch to the rectangle
  Contain,  // letterbox, whole image visible
  Cover,    // crop, rectangle fully covered
};

struct ShadowStyle {
  double blur = 12;    // soft edge width
  Point offset{0, 4};  // shadow displacement from the shape
  Color color{0, 0, 0, 0.35};
};

class Painter {
 public:
  // `scale` is the device pixels per logical pixel (at least 1 in practice).
  Painter(cairo_t* cr, double scale, TextRenderer& text);
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  cairo_t* cr() const { return cr_; }
  double scale() const { return scale_; }
  TextRenderer& text() const { return text_; }

  void clear(Color c);
  void fill_rect(const Rect& r, Color c);
  void stroke_rect(const Rect& r, Color c, double width);
  void fill_rounded_rect(const Rect& r, double radius, Color c);
  void stroke_rounded_rect(const Rect& r, double radius, Color c, double width);
  void fill_circle(Point center, double radius, Color c);
  void stroke_circle(Point center, double radius, Color c, double width);
  void line(Point a, Point b, Color c, double width);
  // Soft shadow under a rounded rectangle, built from stacked translucent rings.
  void shadow(const Rect& r, double radius, const ShadowStyle& style);

  // Clips drawing to a (rounded) rectangle until pop_clip.
  void push_clip(const Rect& r, double radius = 0);
  void pop_clip();
  // Draws into an offscreen group composited with `alpha` at pop_layer.
  void push_layer(double alpha);
  void pop_layer();
  // Transforms apply to everything drawn until pop_transform (save/restore pairs).
  void push_translate(double dx, double dy);
  void push_scale(double sx, double sy);
  void pop_transform();

  // Paints a cairo image surface into `dest` (radius rounds its corners).
  void draw_image(cairo_surface_t* image, const Rect& dest, ImageFit fit, double radius = 0,
                  double alpha = 1);

  // Single-style text with its top-left at `origin`; returns the drawn size.
  Size draw_text(std::string_view text, Point origin, const TextStyle& style,
                 const TextLayoutOptions& options = {});

  // Stack depth of pushes not yet popped (clip, layer, transform together).
  int depth() const { return depth_; }

 private:
  enum class Push : std::uint8_t { Clip, Layer, Transform };
  void pop(Push kind);

  cairo_t* cr_;
  double scale_{};
  TextRenderer& text_;
  int depth_ = 0;
  std::vector<Push> stack_{};
  std::vector<double> layer_alpha_{};
};

// Appends a rounded-rectangle path to `cr` (no fill or stroke).
void rounded_rect_path(cairo_t* cr, const Rect& r, double radius);

}  // namespace zarn_ui
