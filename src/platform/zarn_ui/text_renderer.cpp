#include "platform/zarn_ui/text_renderer.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/zarn_ui/painter.h"

namespace zarn_ui {

namespace {

// Emoji are left to fontconfig fallback (Noto Color Emoji on our systems): naming the emoji
// font in the family list gives empty lines the emoji font's tiny metrics.
constexpr const char* kSansFamilies = "Noto Sans, sans-serif";
constexpr const char* kMonoFamilies = "Noto Sans Mono, DejaVu Sans Mono, monospace";

double from_pango(int units) {
  return static_cast<double>(units) / PANGO_SCALE;
}
int to_pango(double px) {
  return static_cast<int>(px * PANGO_SCALE + (px >= 0 ? 0.5 : -0.5));
}

PangoWeight pango_weight(FontWeight w) {
  switch (w) {
    case FontWeight::Regular:
      return PANGO_WEIGHT_NORMAL;
    case FontWeight::Medium:
      return PANGO_WEIGHT_MEDIUM;
    case FontWeight::Semibold:
      return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::Bold:
      return PANGO_WEIGHT_BOLD;
  }
  return PANGO_WEIGHT_NORMAL;
}

guint16 unit16(double v) {
  return static_cast<guint16>(std::clamp(v, 0.0, 1.0) * 65535 + 0.5);
}

// Pango needs valid UTF-8 without NULs; g_utf8_make_valid turns each bad byte (NUL included)
// into U+FFFD.
std::string sanitize(std::string_view text) {
  if (g_utf8_validate_len(text.data(), static_cast<gsize>(text.size()), nullptr)) {
    return std::string(text);
  }
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string out(valid);
  g_free(valid);
  return out;
}

std::size_t floor_boundary(const std::string& s, std::size_t i) {
  i = std::min(i, s.size());
  while (i > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
  return i;
}

template <typename T>
void put_bytes(std::string& key, const T& v) {
  char buf[sizeof(T)];
  std::memcpy(buf, &v, sizeof(T));
  key.append(buf, sizeof(T));
}

void put_color(std::string& key, const std::optional<Color>& c) {
  put_bytes(key, c.has_value());
  if (c) {
    put_bytes(key, c->r);
    put_bytes(key, c->g);
    put_bytes(key, c->b);
    put_bytes(key, c->a);
  }
}

std::string cache_key(std::string_view text, std::span<const TextSpan> spans, const TextStyle& base,
                      const TextLayoutOptions& o) {
  std::string key;
  key.reserve(text.size() + 64 + spans.size() * 48);
  put_bytes(key, base.size);
  put_bytes(key, base.weight);
  put_bytes(key, base.italic);
  put_bytes(key, base.monospace);
  put_bytes(key, o.wrap_width.has_value());
  put_bytes(key, o.wrap_width.value_or(0));
  put_bytes(key, o.ellipsize);
  put_bytes(key, o.align);
  put_bytes(key, o.max_lines);
  put_bytes(key, spans.size());
  for (const auto& s : spans) {
    put_bytes(key, s.start);
    put_bytes(key, s.end);
    put_color(key, s.color);
    put_bytes(key, s.weight.has_value());
    put_bytes(key, s.weight.value_or(FontWeight::Regular));
    put_bytes(key, s.size.value_or(-1.0));
    put_color(key, s.background);
    put_bytes(key, static_cast<std::uint8_t>(s.italic | s.monospace << 1 | s.underline << 2 |
                                             s.strikethrough << 3));
  }
  key.append(text);
  return key;
}

void insert_attr(PangoAttrList* list, PangoAttribute* attr, std::size_t start, std::size_t end) {
  attr->start_index = static_cast<guint>(start);
  attr->end_index = static_cast<guint>(end);
  pango_attr_list_insert(list, attr);
}

PangoAttrList* build_attrs(const std::string& text, std::span<const TextSpan> spans) {
  PangoAttrList* list = pango_attr_list_new();
  for (const auto& s : spans) {
    std::size_t a = floor_boundary(text, s.start);
    std::size_t b = floor_boundary(text, s.end);
    if (b <= a) continue;
    if (s.color) {
      insert_attr(
          list,
          pango_attr_foreground_new(unit16(s.color->r), unit16(s.color->g), unit16(s.color->b)), a,
          b);
      insert_attr(list, pango_attr_foreground_alpha_new(unit16(s.color->a)), a, b);
    }
    if (s.background) {
      insert_attr(list,
                  pango_attr_background_new(unit16(s.background->r), unit16(s.background->g),
                                            unit16(s.background->b)),
                  a, b);
      insert_attr(list, pango_attr_background_alpha_new(unit16(s.background->a)), a, b);
    }
    if (s.weight) insert_attr(list, pango_attr_weight_new(pango_weight(*s.weight)), a, b);
    if (s.size && *s.size > 0)
      insert_attr(list, pango_attr_size_new_absolute(to_pango(*s.size)), a, b);
    if (s.italic) insert_attr(list, pango_attr_style_new(PANGO_STYLE_ITALIC), a, b);
    if (s.monospace) insert_attr(list, pango_attr_family_new(kMonoFamilies), a, b);
    if (s.underline) insert_attr(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), a, b);
    if (s.strikethrough) insert_attr(list, pango_attr_strikethrough_new(TRUE), a, b);
  }
  return list;
}

}  // namespace

// ---------------------------------------------------------------- RichTextLayout

RichTextLayout::RichTextLayout(PangoLayout* layout, std::string text, Color base_color)
    : layout_(layout), text_(std::move(text)), base_color_(base_color) {}

RichTextLayout::RichTextLayout(const RichTextLayout& other)
    : layout_(other.layout_), text_(other.text_), base_color_(other.base_color_) {
  if (layout_) g_object_ref(layout_);
}

RichTextLayout& RichTextLayout::operator=(const RichTextLayout& other) {
  if (this != &other) {
    RichTextLayout copy(other);
    *this = std::move(copy);
  }
  return *this;
}

RichTextLayout::RichTextLayout(RichTextLayout&& other) noexcept
    : layout_(std::exchange(other.layout_, nullptr)),
      text_(std::move(other.text_)),
      base_color_(other.base_color_) {}

RichTextLayout& RichTextLayout::operator=(RichTextLayout&& other) noexcept {
  if (this != &other) {
    if (layout_) g_object_unref(layout_);
    layout_ = std::exchange(other.layout_, nullptr);
    text_ = std::move(other.text_);
    base_color_ = other.base_color_;
  }
  return *this;
}

RichTextLayout::~RichTextLayout() {
  if (layout_) g_object_unref(layout_);
}

RichTextLayout RichTextLayout::shape(TextRenderer& renderer, std::string_view text,
                                     const TextStyle& base, std::span<const TextSpan> spans,
                                     const TextLayoutOptions& options) {
  return renderer.layout(text, spans, base, options);
}

Size RichTextLayout::size() const {
  if (!layout_) return {};
  PangoRectangle logical;
  pango_layout_get_extents(layout_, nullptr, &logical);
  return {from_pango(logical.width), from_pango(logical.height)};
}

double RichTextLayout::baseline() const {
  return layout_ ? from_pango(pango_layout_get_baseline(layout_)) : 0;
}

int RichTextLayout::line_count() const {
  return layout_ ? pango_layout_get_line_count(layout_) : 0;
}

bool RichTextLayout::is_ellipsized() const {
  return layout_ && pango_layout_is_ellipsized(layout_);
}

std::size_t RichTextLayout::clamp_index(std::size_t index) const {
  return floor_boundary(text_, index);
}

std::size_t RichTextLayout::hit_test(Point p) const {
  if (!layout_) return 0;
  int index = 0;
  int trailing = 0;
  pango_layout_xy_to_index(layout_, to_pango(p.x), to_pango(p.y), &index, &trailing);
  std::size_t pos = clamp_index(static_cast<std::size_t>(std::max(index, 0)));
  for (int i = 0; i < trailing && pos < text_.size(); ++i) pos = next_cursor(pos);
  return pos;
}

Rect RichTextLayout::caret_rect(std::size_t index) const {
  if (!layout_) return {};
  PangoRectangle strong;
  pango_layout_get_cursor_pos(layout_, static_cast<int>(clamp_index(index)), &strong, nullptr);
  double x = from_pango(strong.x);
  double y = from_pango(strong.y);
  return {x, y, x, y + from_pango(strong.height)};
}

namespace {

// The byte index of the nearest character boundary after (or before) `index` whose Pango
// attributes satisfy `stop`; the text's end (or start) when there is none.
template <typename Stop>
std::size_t scan_boundary(PangoLayout* layout, const std::string& text, std::size_t index,
                          bool forward, Stop stop) {
  int n_attrs = 0;
  const PangoLogAttr* attrs = pango_layout_get_log_attrs_readonly(layout, &n_attrs);
  const char* s = text.c_str();
  const glong offset = g_utf8_pointer_to_offset(s, s + index);
  if (forward) {
    for (glong o = offset + 1; o < n_attrs; ++o) {
      if (stop(attrs[o])) return static_cast<std::size_t>(g_utf8_offset_to_pointer(s, o) - s);
    }
    return text.size();
  }
  for (glong o = std::min<glong>(offset, n_attrs) - 1; o > 0; --o) {
    if (stop(attrs[o])) return static_cast<std::size_t>(g_utf8_offset_to_pointer(s, o) - s);
  }
  return 0;
}

}  // namespace

std::size_t RichTextLayout::next_cursor(std::size_t index) const {
  if (!layout_) return 0;
  return scan_boundary(layout_, text_, clamp_index(index), true,
                       [](const PangoLogAttr& a) { return a.is_cursor_position; });
}

std::size_t RichTextLayout::prev_cursor(std::size_t index) const {
  if (!layout_) return 0;
  return scan_boundary(layout_, text_, clamp_index(index), false,
                       [](const PangoLogAttr& a) { return a.is_cursor_position; });
}

std::size_t RichTextLayout::next_word(std::size_t index) const {
  if (!layout_) return 0;
  return scan_boundary(layout_, text_, clamp_index(index), true,
                       [](const PangoLogAttr& a) { return a.is_word_end; });
}

std::size_t RichTextLayout::prev_word(std::size_t index) const {
  if (!layout_) return 0;
  return scan_boundary(layout_, text_, clamp_index(index), false,
                       [](const PangoLogAttr& a) { return a.is_word_start; });
}

std::size_t RichTextLayout::move_line(std::size_t index, int delta, std::optional<double> x) const {
  if (!layout_) return 0;
  index = clamp_index(index);
  int line = 0;
  int x_pos = 0;
  pango_layout_index_to_line_x(layout_, static_cast<int>(index), FALSE, &line, &x_pos);
  int target = line + delta;
  if (target < 0) return 0;
  if (target >= line_count()) return text_.size();

  PangoLayoutIter* it = pango_layout_get_iter(layout_);
  int y0 = 0;
  int y1 = 0;
  for (int i = 0; i < target; ++i) pango_layout_iter_next_line(it);
  pango_layout_iter_get_line_yrange(it, &y0, &y1);
  pango_layout_iter_free(it);
  double px = x.value_or(caret_rect(index).x0);
  return hit_test({px, from_pango(y0 + y1) / 2});
}

std::pair<std::size_t, std::size_t> RichTextLayout::line_bounds(std::size_t index) const {
  if (!layout_) return {0, 0};
  index = clamp_index(index);
  int line = 0;
  int x_pos = 0;
  pango_layout_index_to_line_x(layout_, static_cast<int>(index), FALSE, &line, &x_pos);
  PangoLayoutLine* l = pango_layout_get_line_readonly(layout_, line);
  if (!l) return {0, text_.size()};
  auto start = static_cast<std::size_t>(l->start_index);
  return {start, std::min(text_.size(), start + static_cast<std::size_t>(l->length))};
}

std::vector<Rect> RichTextLayout::selection_rects(std::size_t start, std::size_t end) const {
  std::vector<Rect> out;
  if (!layout_) return out;
  start = clamp_index(start);
  end = clamp_index(end);
  if (end < start) std::swap(start, end);
  if (start == end) return out;
  PangoLayoutIter* it = pango_layout_get_iter(layout_);
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
    auto ls = static_cast<std::size_t>(line->start_index);
    auto le = ls + static_cast<std::size_t>(line->length);
    std::size_t a = std::max(start, ls);
    std::size_t b = std::min(end, le);
    // A selection running past this line's end still marks the line break.
    bool covers_break = end > le && start <= le;
    if (a < b || covers_break) {
      int y0 = 0;
      int y1 = 0;
      pango_layout_iter_get_line_yrange(it, &y0, &y1);
      int* ranges = nullptr;
      int n = 0;
      pango_layout_line_get_x_ranges(line, static_cast<int>(a), static_cast<int>(std::max(a, b)),
                                     &ranges, &n);
      PangoRectangle line_rect;
      pango_layout_iter_get_line_extents(it, nullptr, &line_rect);
      for (int i = 0; i < n; ++i) {
        out.push_back({from_pango(ranges[2 * i]), from_pango(y0), from_pango(ranges[2 * i + 1]),
                       from_pango(y1)});
      }
      if (n == 0 && covers_break) {
        double x = from_pango(line_rect.x + line_rect.width);
        out.push_back({x, from_pango(y0), x + 4, from_pango(y1)});
      }
      g_free(ranges);
    }
  } while (pango_layout_iter_next_line(it));
  pango_layout_iter_free(it);
  return out;
}

void RichTextLayout::draw(Painter& painter, Point origin) const {
  if (!layout_) return;
  cairo_t* cr = painter.cr();
  cairo_save(cr);
  cairo_set_source_rgba(cr, base_color_.r, base_color_.g, base_color_.b, base_color_.a);
  cairo_move_to(cr, origin.x, origin.y);
  pango_cairo_show_layout(cr, layout_);
  cairo_restore(cr);
}

// ---------------------------------------------------------------- TextRenderer

TextRenderer::TextRenderer(std::size_t cache_capacity)
    : capacity_(std::max<std::size_t>(cache_capacity, 1)) {
  font_map_ = pango_cairo_font_map_new();
  context_ = pango_font_map_create_context(font_map_);
  // One logical pixel per point, and metrics that do not snap to the device grid, so that a
  // measurement holds at every scale the text is later drawn at.
  pango_cairo_context_set_resolution(context_, 72);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context_, FALSE);
}

TextRenderer::~TextRenderer() {
  lru_.clear();
  index_.clear();
  g_object_unref(context_);
  g_object_unref(font_map_);
}

void TextRenderer::clear_cache() {
  lru_.clear();
  index_.clear();
  stats_.entries = 0;
}

RichTextLayout TextRenderer::shape_uncached(std::string_view text, std::span<const TextSpan> spans,
                                            const TextStyle& base,
                                            const TextLayoutOptions& options) {
  std::string clean = sanitize(text);
  PangoLayout* layout = pango_layout_new(context_);
  pango_layout_set_text(layout, clean.data(), static_cast<int>(clean.size()));

  PangoFontDescription* desc =
      pango_font_description_from_string(base.monospace ? kMonoFamilies : kSansFamilies);
  pango_font_description_set_absolute_size(desc, std::max(1.0, base.size) * PANGO_SCALE);
  pango_font_description_set_weight(desc, pango_weight(base.weight));
  pango_font_description_set_style(desc, base.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);

  if (!spans.empty()) {
    PangoAttrList* attrs = build_attrs(clean, spans);
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }

  if (options.wrap_width && *options.wrap_width > 0) {
    pango_layout_set_width(layout, to_pango(*options.wrap_width));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  Ellipsize ell = options.ellipsize;
  if (options.max_lines > 0) {
    pango_layout_set_height(layout, -options.max_lines);
    if (ell == Ellipsize::None) ell = Ellipsize::End;
  }
  switch (ell) {
    case Ellipsize::None:
      break;
    case Ellipsize::Start:
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_START);
      break;
    case Ellipsize::Middle:
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
      break;
    case Ellipsize::End:
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
      break;
  }
  switch (options.align) {
    case TextAlign::Start:
      pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
      break;
    case TextAlign::Center:
      pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
      break;
    case TextAlign::End:
      pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
      break;
  }
  return RichTextLayout(layout, std::move(clean), base.color);
}

RichTextLayout TextRenderer::layout(std::string_view text, std::span<const TextSpan> spans,
                                    const TextStyle& base, const TextLayoutOptions& options) {
  std::string key = cache_key(text, spans, base, options);
  auto found = index_.find(key);
  if (found != index_.end()) {
    ++stats_.hits;
    lru_.splice(lru_.begin(), lru_, found->second);
    RichTextLayout out = found->second->second;
    out.base_color_ = base.color;
    return out;
  }
  ++stats_.misses;
  RichTextLayout shaped = shape_uncached(text, spans, base, options);
  lru_.emplace_front(key, shaped);
  index_.emplace(std::move(key), lru_.begin());
  if (lru_.size() > capacity_) {
    index_.erase(lru_.back().first);
    lru_.pop_back();
  }
  stats_.entries = lru_.size();
  return shaped;
}

Size TextRenderer::measure(std::string_view text, const TextStyle& style,
                           const TextLayoutOptions& options) {
  return layout(text, {}, style, options).size();
}

Size TextRenderer::measure_rich(std::string_view text, std::span<const TextSpan> spans,
                                const TextStyle& base, const TextLayoutOptions& options) {
  return layout(text, spans, base, options).size();
}

double TextRenderer::line_height(const TextStyle& style) {
  return measure("", style).height;
}

Size TextRenderer::draw(Painter& painter, std::string_view text, Point origin,
                        const TextStyle& style, const TextLayoutOptions& options) {
  return draw_rich(painter, text, {}, origin, style, options);
}

Size TextRenderer::draw_rich(Painter& painter, std::string_view text,
                             std::span<const TextSpan> spans, Point origin, const TextStyle& base,
                             const TextLayoutOptions& options) {
  RichTextLayout l = layout(text, spans, base, options);
  l.draw(painter, origin);
  return l.size();
}

}  // namespace zarn_ui
