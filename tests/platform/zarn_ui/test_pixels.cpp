#include "test_pixels.h"

#include <set>

namespace zarn_ui::testing {

int distinct_colours(cairo_surface_t* s, int cap) {
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s);
  int h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  std::set<std::uint32_t> seen;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = 0;
      std::memcpy(&v, data + static_cast<std::ptrdiff_t>(y) * stride + x * 4, 4);
      seen.insert(v);
      if (static_cast<int>(seen.size()) >= cap) return cap;
    }
  }
  return static_cast<int>(seen.size());
}

Canvas::Canvas(int w, int h)
    : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)), cr(cairo_create(surface)) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
}

Canvas::~Canvas() {
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace zarn_ui::testing
