// Avatar: a round badge showing a picture, or initials on a colour. initials_for_name derives
// the initials shown for a display name. Drawing is UI thread only; initials_for_name is a pure
// function any thread may call.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

class Painter;

class Avatar {
 public:
  // Up to two initials: the first letter or digit of each of the first two words (words split
  // at white space, '.', '_' and '-'), upper-cased, combining marks kept. Words without a
  // letter or digit are skipped; empty when no word has one.
  static std::string initials_for_name(std::string_view name);

  Avatar() = default;
  Avatar(std::string initials, Color color);

  void set_initials(std::string initials) { initials_ = std::move(initials); }
  const std::string& initials() const { return initials_; }
  void set_color(Color color) { color_ = color; }
  const Color& color() const { return color_; }
  // The picture replaces the initials; the avatar keeps its own reference. nullptr clears.
  void set_image(cairo_surface_t* image);
  cairo_surface_t* image() const { return image_.get(); }

  // A circle of `radius` around `center`: the picture (cover-fitted) or the colour with the
  // initials in a contrasting colour, sized to the radius.
  void draw(Painter& painter, Point center, double radius) const;

 private:
  struct SurfaceRelease {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  };
  std::string initials_;
  Color color_ = Color::rgb(0x5865F2);
  std::unique_ptr<cairo_surface_t, SurfaceRelease> image_;
};

}  // namespace zarn_ui
