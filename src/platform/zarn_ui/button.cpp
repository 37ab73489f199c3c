#include "platform/zarn_ui/button.h"

#include <algorithm>
#include <cmath>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/theme.h"

namespace zarn_ui {
namespace {

TextStyle label_style(const Theme& theme) {
  TextStyle style;
  style.size = theme.button.text_size;
  style.weight = FontWeight::Medium;
  return style;
}

// Mixes `c` towards white (amount > 0) or black (amount < 0), keeping alpha.
Color shade(Color c, double amount) {
  const double t = std::abs(amount);
  const double target = amount > 0 ? 1.0 : 0.0;
  return {c.r + (target - c.r) * t, c.g + (target - c.g) * t, c.b + (target - c.b) * t, c.a};
}

}  // namespace

Button::Button(std::string label, std::string icon, ButtonStyle style)
    : label_(std::move(label)), icon_(std::move(icon)), style_(style) {}

Size Button::measure(TextRenderer& text, const Theme& theme) const {
  const TextStyle style = label_style(theme);
  double width = 2 * theme.button.pad_x;
  if (!icon_.empty()) width += text.measure(icon_, style).width;
  if (!icon_.empty() && !label_.empty()) width += theme.button.icon_gap;
  if (!label_.empty()) width += text.measure(label_, style).width;
  return {std::max(width, theme.button.min_width), theme.button.height};
}

double Button::icon_only_width(TextRenderer& text, const Theme& theme) const {
  if (icon_.empty()) return measure(text, theme).width;
  const double width = 2 * theme.button.pad_x + text.measure(icon_, label_style(theme)).width;
  return std::max(width, theme.button.min_width);
}

void Button::draw(Painter& painter, const Theme& theme, const Rect& rect) const {
  if (rect.empty()) return;
  Color fill;
  Color ink = theme.text_strong;
  switch (style_) {
    case ButtonStyle::Normal:
      fill = active_ ? theme.accent.with_alpha(0.25) : theme.surface_raised;
      break;
    case ButtonStyle::Primary:
      fill = theme.accent;
      ink = theme.accent_text;
      break;
    case ButtonStyle::Destructive:
      fill = theme.danger;
      ink = theme.accent_text;
      break;
    case ButtonStyle::Ghost:
      fill = active_ ? theme.accent.with_alpha(0.2) : Color{0, 0, 0, 0};
      break;
  }
  if (enabled_) {
    if (pressed_) {
      fill = shade(fill, -0.15);
    } else if (hovered_) {
      fill = style_ == ButtonStyle::Ghost && fill.a == 0 ? theme.text_strong.with_alpha(0.08)
                                                         : shade(fill, 0.1);
    }
  } else {
    fill = fill.with_alpha(fill.a * 0.5);
    ink = theme.text_faint;
  }
  const double radius = std::min(theme.button.radius, rect.height() / 2);
  if (fill.a > 0) painter.fill_rounded_rect(rect, radius, fill);
  if (style_ == ButtonStyle::Normal && active_ && enabled_) {
    painter.stroke_rounded_rect(rect.inset(0.5), radius, theme.accent, 1);
  }

  TextStyle style = label_style(theme);
  style.color = ink;
  TextRenderer& text = painter.text();
  const double line = text.line_height(style);
  const double y = rect.y0 + (rect.height() - line) / 2;
  const bool icon_only =
      !icon_.empty() && (label_.empty() || rect.width() < measure(text, theme).width);
  if (icon_only) {
    const double w = text.measure(icon_, style).width;
    painter.draw_text(icon_, {rect.center().x - w / 2, y}, style);
    return;
  }
  const double content = measure(text, theme).width - 2 * theme.button.pad_x;
  double x = rect.x0 + std::max(theme.button.pad_x, (rect.width() - content) / 2);
  if (!icon_.empty()) {
    x += painter.draw_text(icon_, {x, y}, style).width + theme.button.icon_gap;
  }
  TextLayoutOptions options;
  options.wrap_width = std::max(1.0, rect.x1 - theme.button.pad_x - x);
  options.max_lines = 1;
  options.ellipsize = Ellipsize::End;
  painter.draw_text(label_, {x, y}, style, options);
}

AccessNode Button::access_node(std::string id, const Rect& rect, AccessRole role) const {
  AccessNode node;
  node.id = std::move(id);
  node.label = label_.empty() ? icon_ : label_;
  node.role = role;
  node.rect = rect;
  node.selected = active_;
  node.disabled = !enabled_;
  return node;
}

}  // namespace zarn_ui
