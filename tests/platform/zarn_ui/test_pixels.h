// Pixel access for tests that paint into Cairo image surfaces.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <cstring>

namespace zarn_ui::testing {

struct Rgba {
  int r = 0;
  int g = 0;
  int b = 0;
  int a = 0;
};

// Un-premultiplied colour of one ARGB32 pixel.
inline Rgba pixel_at(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) +
                             static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(s);
  std::uint32_t v = 0;
  std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
  Rgba c{static_cast<int>(v >> 16 & 0xff), static_cast<int>(v >> 8 & 0xff),
         static_cast<int>(v & 0xff), static_cast<int>(v >> 24)};
  if (c.a > 0 && c.a < 255) {
    c.r = c.r * 255 / c.a;
    c.g = c.g * 255 / c.a;
    c.b = c.b * 255 / c.a;
  }
  return c;
}

// Number of distinct ARGB words in the surface, capped at `cap`.
int distinct_colours(cairo_surface_t* s, int cap = 64);

// A surface of `w` x `h` filled with opaque white, and its context.
struct Canvas {
  cairo_surface_t* surface;
  cairo_t* cr;
  Canvas(int w, int h);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  Rgba at(int x, int y) const { return pixel_at(surface, x, y); }
};

}  // namespace zarn_ui::testing
