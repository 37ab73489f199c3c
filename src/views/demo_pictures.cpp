// The two pictures of the demonstration content, drawn with Cairo and Pango into an image the
// store can show like any decoded attachment. Runs on the image store's workers: every Cairo and
// Pango object here is local to one call.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "views/attachment_card.h"
#include "views/image_loader.h"

namespace chat::views {

namespace {

constexpr double kPi = std::numbers::pi;

struct Rgb {
  double r, g, b;
};

constexpr Rgb hex(unsigned v) {
  return {((v >> 16) & 0xff) / 255.0, ((v >> 8) & 0xff) / 255.0, (v & 0xff) / 255.0};
}

void set(cairo_t* cr, Rgb c, double a = 1) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

void rounded(cairo_t* cr, double x, double y, double w, double h, double r) {
  const double k = kPi / 180;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -90 * k, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, 90 * k);
  cairo_arc(cr, x + r, y + h - r, r, 90 * k, 180 * k);
  cairo_arc(cr, x + r, y + r, r, 180 * k, 270 * k);
  cairo_close_path(cr);
}

struct LayoutRelease {
  void operator()(PangoLayout* l) const { g_object_unref(l); }
};

std::unique_ptr<PangoLayout, LayoutRelease> make_layout(cairo_t* cr, const std::string& s,
                                                        double size, bool bold) {
  std::unique_ptr<PangoLayout, LayoutRelease> layout(pango_cairo_create_layout(cr));
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, "Sans");
  pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(desc, size * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), desc);
  pango_font_description_free(desc);
  pango_layout_set_text(layout.get(), s.c_str(), static_cast<int>(s.size()));
  return layout;
}

double text_width(cairo_t* cr, const std::string& s, double size, bool bold) {
  int w = 0;
  int h = 0;
  pango_layout_get_pixel_size(make_layout(cr, s, size, bold).get(), &w, &h);
  return w;
}

// Draws one line of text; `anchor_x` 0 = left edge at x, 0.5 = centred on x, 1 = right edge.
void text(cairo_t* cr, const std::string& s, double x, double y, double size, bool bold, Rgb c,
          double a = 1, double anchor_x = 0) {
  auto layout = make_layout(cr, s, size, bold);
  int w = 0;
  int h = 0;
  pango_layout_get_pixel_size(layout.get(), &w, &h);
  set(cr, c, a);
  cairo_move_to(cr, x - anchor_x * w, y);
  pango_cairo_show_layout(cr, layout.get());
}

void vertical_gradient(cairo_t* cr, double x, double y, double w, double h, double r, Rgb top,
                       Rgb bottom) {
  cairo_pattern_t* g = cairo_pattern_create_linear(x, y, x + w * 0.35, y + h);
  cairo_pattern_add_color_stop_rgb(g, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(g, 1, bottom.r, bottom.g, bottom.b);
  rounded(cr, x, y, w, h, r);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

void glow(cairo_t* cr, double cx, double cy, double radius, Rgb c, double a) {
  cairo_pattern_t* g = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
  cairo_pattern_add_color_stop_rgba(g, 0, c.r, c.g, c.b, a);
  cairo_pattern_add_color_stop_rgba(g, 1, c.r, c.g, c.b, 0);
  cairo_set_source(cr, g);
  cairo_arc(cr, cx, cy, radius, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

// A small microphone glyph; struck through when muted.
void mic(cairo_t* cr, double x, double y, bool muted) {
  const Rgb white = hex(0xFFFFFF);
  const Rgb red = hex(0xF0605A);
  set(cr, muted ? red : white, 0.95);
  rounded(cr, x - 2.5, y - 6, 5, 8, 2.5);
  cairo_fill(cr);
  cairo_set_line_width(cr, 1.4);
  cairo_arc(cr, x, y - 1, 4.5, 0, kPi);
  cairo_stroke(cr);
  cairo_move_to(cr, x, y + 3.5);
  cairo_line_to(cr, x, y + 6);
  cairo_stroke(cr);
  if (muted) {
    cairo_set_line_width(cr, 1.6);
    cairo_move_to(cr, x - 6, y - 7);
    cairo_line_to(cr, x + 6, y + 6);
    cairo_stroke(cr);
  }
}

struct Tile {
  const char* name;
  const char* initials;
  Rgb base;  // the person's colour
  Rgb room;  // background of a camera tile
  bool camera;
  bool speaking;
  bool muted;
};

void camera_person(cairo_t* cr, double x, double y, double w, double h, const Tile& t) {
  // A lit room: window light from the upper left, a shelf line, then the person.
  vertical_gradient(cr, x, y, w, h, 12, t.room, hex(0x15171C));
  glow(cr, x + w * 0.2, y + h * 0.15, w * 0.55, hex(0xFFF2D6), 0.22);
  set(cr, hex(0x000000), 0.18);
  cairo_rectangle(cr, x + w * 0.62, y + h * 0.28, w * 0.3, 3);
  cairo_fill(cr);
  set(cr, t.base, 0.55);
  cairo_rectangle(cr, x + w * 0.66, y + h * 0.2, 10, h * 0.08);
  cairo_rectangle(cr, x + w * 0.7, y + h * 0.17, 8, h * 0.11);
  cairo_fill(cr);
  const double cx = x + w * 0.48;
  // Shoulders and torso.
  cairo_pattern_t* shirt = cairo_pattern_create_linear(cx, y + h * 0.62, cx, y + h);
  cairo_pattern_add_color_stop_rgb(shirt, 0, t.base.r * 0.85, t.base.g * 0.85, t.base.b * 0.85);
  cairo_pattern_add_color_stop_rgb(shirt, 1, t.base.r * 0.45, t.base.g * 0.45, t.base.b * 0.45);
  cairo_save(cr);
  rounded(cr, x, y, w, h, 12);
  cairo_clip(cr);
  cairo_move_to(cr, cx - w * 0.27, y + h);
  cairo_curve_to(cr, cx - w * 0.26, y + h * 0.72, cx - w * 0.14, y + h * 0.66, cx, y + h * 0.66);
  cairo_curve_to(cr, cx + w * 0.14, y + h * 0.66, cx + w * 0.26, y + h * 0.72, cx + w * 0.27,
                 y + h);
  cairo_close_path(cr);
  cairo_set_source(cr, shirt);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_pattern_destroy(shirt);
  // Neck, head and hair.
  set(cr, hex(0xC98E6B));
  cairo_rectangle(cr, cx - 9, y + h * 0.56, 18, h * 0.12);
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, cx, y + h * 0.44);
  cairo_scale(cr, 1, 1.18);
  cairo_arc(cr, 0, 0, h * 0.14, 0, 2 * kPi);
  cairo_restore(cr);
  set(cr, hex(0xE0A882));
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, cx, y + h * 0.37);
  cairo_scale(cr, 1.05, 0.7);
  cairo_arc(cr, 0, 0, h * 0.15, kPi, 2 * kPi);
  cairo_restore(cr);
  set(cr, hex(0x3A2A22));
  cairo_fill(cr);
}

void avatar_tile(cairo_t* cr, double x, double y, double w, double h, const Tile& t) {
  vertical_gradient(cr, x, y, w, h, 12, {t.base.r * 0.32, t.base.g * 0.32, t.base.b * 0.36},
                    hex(0x121419));
  glow(cr, x + w / 2, y + h / 2 - 8, h * 0.55, t.base, 0.22);
  const double cx = x + w / 2;
  const double cy = y + h / 2 - 8;
  set(cr, hex(0x000000), 0.25);
  cairo_arc(cr, cx, cy + 2, 37, 0, 2 * kPi);
  cairo_fill(cr);
  set(cr, t.base);
  cairo_arc(cr, cx, cy, 35, 0, 2 * kPi);
  cairo_fill(cr);
  text(cr, t.initials, cx, cy - 15, 24, true, hex(0xFFFFFF), 1, 0.5);
}

void draw_call_grid(cairo_t* cr, int width, int height) {
  set(cr, hex(0x0D0F13));
  cairo_paint(cr);
  const std::array<Tile, 4> tiles{{
      {"Mira Chen", "MC", hex(0x5B8DEF), hex(0x394B66), true, true, false},
      {"Jonas Berg", "JB", hex(0xE07A5F), hex(0x4A3A36), false, false, true},
      {"Priya Nair", "PN", hex(0x43AA8B), hex(0x2F4A44), true, false, false},
      {"Leo Ortiz", "LO", hex(0xB07FE0), hex(0x3E3550), false, false, false},
  }};
  const double margin = 10;
  const double gap = 8;
  const double tw = (width - 2 * margin - gap) / 2;
  const double th = (height - 2 * margin - gap) / 2;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const Tile& t = tiles[i];
    const double x = margin + static_cast<double>(i % 2) * (tw + gap);
    const double y = margin + static_cast<double>(i / 2) * (th + gap);
    if (t.camera) {
      camera_person(cr, x, y, tw, th, t);
    } else {
      avatar_tile(cr, x, y, tw, th, t);
    }
    // Name tag with the microphone state.
    const double tag_h = 24;
    const double name_w = text_width(cr, t.name, 12, false);
    rounded(cr, x + 10, y + th - tag_h - 10, name_w + 34, tag_h, 8);
    set(cr, hex(0x000000), 0.55);
    cairo_fill(cr);
    mic(cr, x + 22, y + th - 10 - tag_h / 2, t.muted);
    text(cr, t.name, x + 32, y + th - tag_h - 10 + 4, 12, false, hex(0xFFFFFF), 0.95);
    if (t.speaking) {
      rounded(cr, x + 1.5, y + 1.5, tw - 3, th - 3, 11);
      set(cr, hex(0x3FB950));
      cairo_set_line_width(cr, 3);
      cairo_stroke(cr);
    } else {
      rounded(cr, x + 0.5, y + 0.5, tw - 1, th - 1, 12);
      set(cr, hex(0xFFFFFF), 0.08);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    }
  }
  // The call's own badge, as a recording of a live call would show it.
  rounded(cr, width - 92, 18, 74, 22, 11);
  set(cr, hex(0x000000), 0.55);
  cairo_fill(cr);
  set(cr, hex(0xE5534B));
  cairo_arc(cr, width - 80, 29, 4, 0, 2 * kPi);
  cairo_fill(cr);
  text(cr, "LIVE 12:48", width - 72, 22, 10.5, true, hex(0xFFFFFF), 0.9);
}

void paragraph(cairo_t* cr, double x, double y, double w, int lines, Rgb c) {
  static constexpr std::array<double, 6> kWidths{0.97, 0.92, 0.99, 0.88, 0.95, 0.62};
  for (int i = 0; i < lines; ++i) {
    const double lw = i == lines - 1 ? w * 0.58 : w * kWidths[static_cast<std::size_t>(i) % 5];
    rounded(cr, x, y + i * 13, lw, 6, 3);
    set(cr, c);
    cairo_fill(cr);
  }
}

void draw_shared_shot(cairo_t* cr, int width, int height) {
  set(cr, hex(0x1B1E24));
  cairo_paint(cr);
  // Window chrome.
  set(cr, hex(0x23272F));
  cairo_rectangle(cr, 0, 0, width, 34);
  cairo_fill(cr);
  const std::array<Rgb, 3> lights{hex(0xFF5F57), hex(0xFEBC2E), hex(0x28C840)};
  for (std::size_t i = 0; i < lights.size(); ++i) {
    set(cr, lights[i]);
    cairo_arc(cr, 18 + 16 * static_cast<double>(i), 17, 5, 0, 2 * kPi);
    cairo_fill(cr);
  }
  rounded(cr, 160, 8, 300, 18, 9);
  set(cr, hex(0x15181D));
  cairo_fill(cr);
  text(cr, "docs / q3-launch-plan", width / 2.0, 10, 10.5, false, hex(0xA6ACB8), 1, 0.5);

  // The page, running off the bottom edge as a scrolled document does.
  const double px = 28;
  const double py = 50;
  const double pw = width - 2 * px;
  set(cr, hex(0x000000), 0.35);
  rounded(cr, px, py + 3, pw, height, 8);
  cairo_fill(cr);
  set(cr, hex(0xF7F8FA));
  rounded(cr, px, py, pw, height, 8);
  cairo_fill(cr);

  const Rgb ink = hex(0x1B1F27);
  const Rgb grey = hex(0xD5D9E0);
  const Rgb accent = hex(0x5B8DEF);
  const double left = px + 28;
  set(cr, accent);
  rounded(cr, left, py + 24, 26, 26, 6);
  cairo_fill(cr);
  text(cr, "Q3", left + 13, py + 29, 11, true, hex(0xFFFFFF), 1, 0.5);
  text(cr, "Q3 Launch Plan", left + 38, py + 22, 19, true, ink);
  text(cr, "Edited by Mira Chen · shared with #general", left + 38, py + 45, 10.5, false,
       hex(0x6C7280));

  // Two columns: text on the left, a chart card on the right.
  const double col_w = pw * 0.46;
  double y = py + 82;
  text(cr, "Goals", left, y, 12.5, true, ink);
  paragraph(cr, left, y + 22, col_w, 4, grey);
  y += 22 + 4 * 13 + 14;
  text(cr, "Milestones", left, y, 12.5, true, ink);
  const std::array<Rgb, 3> ticks{hex(0x3FB950), hex(0x3FB950), hex(0xD29922)};
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    const double ly = y + 24 + 18 * static_cast<double>(i);
    set(cr, ticks[i]);
    cairo_arc(cr, left + 5, ly + 3, 4.5, 0, 2 * kPi);
    cairo_fill(cr);
    rounded(cr, left + 16, ly, col_w * (0.8 - 0.12 * static_cast<double>(i)), 6, 3);
    set(cr, grey);
    cairo_fill(cr);
  }

  const double cx = left + col_w + 28;
  const double cw = px + pw - 28 - cx;
  const double cy = py + 80;
  const double ch = 170;
  set(cr, hex(0xFFFFFF));
  rounded(cr, cx, cy, cw, ch, 10);
  cairo_fill_preserve(cr);
  set(cr, hex(0xE3E6EB));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  text(cr, "Weekly active teams", cx + 14, cy + 12, 11, true, ink);
  text(cr, "+38%", cx + cw - 14, cy + 12, 11, true, hex(0x2E9E4A), 1, 1);
  const std::array<double, 7> bars{0.34, 0.42, 0.4, 0.55, 0.63, 0.71, 0.88};
  const double base_y = cy + ch - 22;
  const double plot_h = ch - 62;
  const double bar_gap = 8;
  const double bw = (cw - 28 - bar_gap * (bars.size() - 1)) / static_cast<double>(bars.size());
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const double bh = plot_h * bars[i];
    const double bx = cx + 14 + static_cast<double>(i) * (bw + bar_gap);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, base_y - bh, 0, base_y);
    const Rgb top = i + 1 == bars.size() ? accent : hex(0x9DB8F2);
    cairo_pattern_add_color_stop_rgb(g, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(g, 1, top.r * 0.85, top.g * 0.85, top.b * 0.9);
    rounded(cr, bx, base_y - bh, bw, bh, 3);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  }
  set(cr, hex(0xD5D9E0));
  cairo_rectangle(cr, cx + 14, base_y, cw - 28, 1);
  cairo_fill(cr);
  text(cr, "W1", cx + 14, base_y + 5, 9, false, hex(0x8B93A1));
  text(cr, "W7", cx + cw - 14, base_y + 5, 9, false, hex(0x8B93A1), 1, 1);

  // A picture block under both columns: a banner with hills and a sun.
  const double iy = cy + ch + 18;
  const double iw = pw - 56;
  cairo_save(cr);
  rounded(cr, left, iy, iw, 90, 10);
  cairo_clip(cr);
  vertical_gradient(cr, left, iy, iw, 90, 0, hex(0x7FB2F0), hex(0xF3C98B));
  set(cr, hex(0xFFF4D6), 0.95);
  cairo_arc(cr, left + iw * 0.78, iy + 34, 14, 0, 2 * kPi);
  cairo_fill(cr);
  set(cr, hex(0x4F7A5A));
  cairo_move_to(cr, left, iy + 90);
  cairo_curve_to(cr, left + iw * 0.2, iy + 40, left + iw * 0.4, iy + 55, left + iw * 0.55, iy + 90);
  cairo_fill(cr);
  set(cr, hex(0x3B6147));
  cairo_move_to(cr, left + iw * 0.35, iy + 90);
  cairo_curve_to(cr, left + iw * 0.6, iy + 30, left + iw * 0.8, iy + 50, left + iw, iy + 75);
  cairo_line_to(cr, left + iw, iy + 90);
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace

zarn::Result<zarn_ui::Image> draw_demo_picture(std::string_view key) {
  int width = 0;
  int height = 0;
  void (*painter)(cairo_t*, int, int) = nullptr;
  if (key == kDemoCallGrid) {
    width = 640;
    height = 360;
    painter = draw_call_grid;
  } else if (key == kDemoSharedShot) {
    width = 620;
    height = 400;
    painter = draw_shared_shot;
  } else {
    return zarn::make_error("no demo picture named " + std::string(key));
  }
  zarn_ui::Image image = zarn_ui::Image::blank(width, height);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(image.data(), CAIRO_FORMAT_ARGB32,
                                                                 width, height, image.stride());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return zarn::make_error("cannot draw the demo picture");
  }
  cairo_t* cr = cairo_create(surface);
  painter(cr, width, height);
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  if (!ok) return zarn::make_error("cannot draw the demo picture");
  return image;
}

}  // namespace chat::views
