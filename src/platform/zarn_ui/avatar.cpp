#include "platform/zarn_ui/avatar.h"

#include <glib.h>

#include <algorithm>

#include "platform/zarn_ui/painter.h"

namespace zarn_ui {
namespace {

bool is_separator(gunichar c) {
  return g_unichar_isspace(c) || c == '.' || c == '_' || c == '-';
}

void append_upper(std::string& out, gunichar c) {
  // Upper-casing a code point can give several (as for "ß"); g_utf8_strup handles that.
  char buf[8];
  const int n = g_unichar_to_utf8(c, buf);
  gchar* upper = g_utf8_strup(buf, n);
  out += upper;
  g_free(upper);
}

void append_char(std::string& out, gunichar c) {
  char buf[8];
  out.append(buf, static_cast<std::size_t>(g_unichar_to_utf8(c, buf)));
}

}  // namespace

std::string Avatar::initials_for_name(std::string_view name) {
  // Invalid bytes become U+FFFD first, which is neither a letter nor a digit.
  gchar* valid = g_utf8_make_valid(name.data(), static_cast<gssize>(name.size()));
  std::string out;
  int found = 0;
  bool in_word = false;
  bool word_done = false;  // this word already gave its initial (or has none to give yet)
  bool taking_marks = false;
  for (const gchar* p = valid; *p != '\0' && found <= 2; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (taking_marks) {
      if (g_unichar_ismark(c)) {
        append_char(out, c);
        continue;
      }
      taking_marks = false;
      if (found == 2) break;
    }
    if (is_separator(c)) {
      in_word = false;
      continue;
    }
    if (!in_word) {
      in_word = true;
      word_done = false;
    }
    if (!word_done && g_unichar_isalnum(c)) {
      append_upper(out, c);
      ++found;
      word_done = true;
      taking_marks = true;
    }
  }
  g_free(valid);
  return out;
}

Avatar::Avatar(std::string initials, Color color) : initials_(std::move(initials)), color_(color) {}

void Avatar::set_image(cairo_surface_t* image) {
  image_.reset(image ? cairo_surface_reference(image) : nullptr);
}

void Avatar::draw(Painter& painter, Point center, double radius) const {
  if (radius <= 0) return;
  const Rect box{center.x - radius, center.y - radius, center.x + radius, center.y + radius};
  if (image_) {
    painter.draw_image(image_.get(), box, ImageFit::Cover, radius);
    return;
  }
  painter.fill_circle(center, radius, color_);
  if (initials_.empty()) return;
  // Dark text on light colours, white on dark ones (perceived luminance).
  const double luma = 0.299 * color_.r + 0.587 * color_.g + 0.114 * color_.b;
  TextStyle style;
  style.size = std::max(6.0, radius * (g_utf8_strlen(initials_.c_str(), -1) > 2 ? 0.75 : 0.85));
  style.weight = FontWeight::Semibold;
  style.color = luma > 0.6 ? Color::rgb(0x1E1F22) : Color::rgb(0xFFFFFF);
  const Size size = painter.text().measure(initials_, style);
  painter.draw_text(initials_, {center.x - size.width / 2, center.y - size.height / 2}, style);
}

}  // namespace zarn_ui
