// Plain geometry records in logical pixels (platform pixels divided by the text scale).
// Header-only; any thread.
#pragma once

#include <algorithm>

namespace zarn_ui {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

// Edges, not origin+size: x0/y0 inclusive, x1/y1 exclusive.
struct Rect {
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;

  static Rect from_xywh(double x, double y, double w, double h) { return {x, y, x + w, y + h}; }
  double width() const { return x1 - x0; }
  double height() const { return y1 - y0; }
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  bool contains(Point p) const { return p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1; }
  Point center() const { return {(x0 + x1) / 2, (y0 + y1) / 2}; }
  Rect inset(double d) const { return {x0 + d, y0 + d, x1 - d, y1 - d}; }
  Rect intersect(const Rect& o) const {
    return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
  bool operator==(const Rect&) const = default;
};

struct Color {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 1;
  static Color rgb(unsigned hex, double alpha = 1.0) {
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0,
            alpha};
  }
  Color with_alpha(double alpha) const { return {r, g, b, alpha}; }
  bool operator==(const Color&) const = default;
};

}  // namespace zarn_ui
