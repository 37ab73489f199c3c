#include "platform/zarn_ui/context_menu.h"

#include <algorithm>
#include <charconv>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/surfaces.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui {
namespace {

const char* icon_glyph(std::uint16_t code) {
  switch (static_cast<MenuIcon>(code)) {
    case MenuIcon::ArrowUp:
      return "↑";
    case MenuIcon::ArrowDown:
      return "↓";
    case MenuIcon::Add:
      return "+";
    case MenuIcon::Archive:
      return "🗄";
    case MenuIcon::Pencil:
      return "✎";
    case MenuIcon::Pin:
      return "📌";
    case MenuIcon::Trash:
      return "🗑";
    case MenuIcon::None:
      break;
  }
  return nullptr;
}

// Start of a span of `length` placed at `at` within [lo, hi]: flipped to end at `at` when it
// would pass `hi` and the flip fits, otherwise pushed back inside (the low edge wins when the
// span is longer than the range).
double place(double at, double length, double lo, double hi) {
  double start = at;
  if (start + length > hi) start = at - length >= lo ? at - length : hi - length;
  return std::max(lo, std::min(start, hi - length));
}

}  // namespace

std::string ContextMenu::item_node_id(std::size_t index) {
  return std::string(kItemIdPrefix) + std::to_string(index);
}

void ContextMenu::clear() {
  items_.clear();
  close();
}

void ContextMenu::push(MenuItem item) {
  items_.push_back(std::move(item));
  if (open_) relayout();
}

void ContextMenu::open_at(Point at) {
  open_at_clamped(at, Rect{});
}

void ContextMenu::open_at_clamped(Point at, const Rect& bounds) {
  open_ = true;
  anchor_ = at;
  clamp_bounds_ = bounds;
  highlight_.reset();
  relayout();
}

void ContextMenu::relayout() {
  const double height = 2 * kPadding + row_height_ * static_cast<double>(items_.size());
  double x = anchor_.x;
  double y = anchor_.y;
  if (!clamp_bounds_.empty()) {
    x = place(anchor_.x, width_, clamp_bounds_.x0, clamp_bounds_.x1);
    y = place(anchor_.y, height, clamp_bounds_.y0, clamp_bounds_.y1);
  }
  rect_ = Rect::from_xywh(x, y, width_, height);
}

void ContextMenu::close() {
  open_ = false;
  highlight_.reset();
}

Rect ContextMenu::popup_rect() const {
  return open_ ? rect_ : Rect{};
}

Rect ContextMenu::item_rect(std::size_t index) const {
  const double top = rect_.y0 + kPadding + row_height_ * static_cast<double>(index);
  return {rect_.x0, top, rect_.x1, top + row_height_};
}

void ContextMenu::set_highlighted(std::optional<std::size_t> index) {
  if (index && (*index >= items_.size() || items_[*index].disabled)) return;
  highlight_ = index;
}

std::optional<std::size_t> ContextMenu::item_at(Point p) const {
  if (!open_ || !rect_.contains(p)) return std::nullopt;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (item_rect(i).contains(p)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ContextMenu::first_enabled(std::size_t from, int direction) const {
  const std::size_t n = items_.size();
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = direction > 0 ? (from + k) % n : (from + n - k % n) % n;
    if (!items_[i].disabled) return i;
  }
  return std::nullopt;
}

void ContextMenu::step_highlight(int direction) {
  if (items_.empty()) return;
  const std::size_t n = items_.size();
  std::size_t from;
  if (!highlight_) {
    from = direction > 0 ? 0 : n - 1;
  } else {
    from = direction > 0 ? (*highlight_ + 1) % n : (*highlight_ + n - 1) % n;
  }
  highlight_ = first_enabled(from, direction);
}

std::optional<MenuChoice> ContextMenu::choose(std::size_t index) {
  if (index >= items_.size() || items_[index].disabled) return std::nullopt;
  const MenuChoice choice{index, items_[index].id};
  if (!items_[index].keeps_open) close();
  return choice;
}

MenuEventResult ContextMenu::handle_event(const Event& event, EventCtx& ctx) {
  MenuEventResult result;
  if (!open_) return result;
  const double scale = ctx.text_scale() > 0 ? ctx.text_scale() : 1.0;
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    result.handled = true;
    if (key->state != KeyState::Pressed) return result;
    switch (key->key) {
      case Key::Up:
        step_highlight(-1);
        break;
      case Key::Down:
      case Key::Tab:
        step_highlight(key->key == Key::Tab && key->mods.shift ? -1 : 1);
        break;
      case Key::Home:
        highlight_ = items_.empty() ? std::nullopt : first_enabled(0, 1);
        break;
      case Key::End:
        highlight_ = items_.empty() ? std::nullopt : first_enabled(items_.size() - 1, -1);
        break;
      case Key::Enter:
      case Key::Space:
        if (highlight_) result.chosen = choose(*highlight_);
        break;
      case Key::Escape:
        close();
        break;
      default:
        break;
    }
  } else if (std::holds_alternative<TextEvent>(event) ||
             std::holds_alternative<CompositionEvent>(event) ||
             std::holds_alternative<WheelEvent>(event)) {
    result.handled = true;
  } else if (const auto* move = std::get_if<PointerMoveEvent>(&event)) {
    const Point p{move->pos.x / scale, move->pos.y / scale};
    if (const auto hit = item_at(p); hit && !items_[*hit].disabled) {
      highlight_ = hit;
    } else if (rect_.contains(p)) {
      highlight_.reset();
    }
  } else if (const auto* button = std::get_if<ButtonEvent>(&event)) {
    const Point p{button->pos.x / scale, button->pos.y / scale};
    const bool inside = rect_.contains(p);
    if (!inside) {
      if (button->state == ButtonState::Pressed) {
        close();
        result.handled = button->button != MouseButton::Right;
      }
    } else {
      result.handled = true;
      if (button->button == MouseButton::Left && button->state == ButtonState::Pressed) {
        if (const auto hit = item_at(p)) result.chosen = choose(*hit);
      }
    }
  }
  if (result.handled) ctx.request_redraw();
  return result;
}

std::optional<MenuChoice> ContextMenu::perform_semantic_action(std::string_view id,
                                                               const SemanticAction& action) {
  if (!open_) return std::nullopt;
  if (id == kNodeId) {
    if (action.kind == SemanticActionKind::Dismiss) close();
    return std::nullopt;
  }
  if (!id.starts_with(kItemIdPrefix)) return std::nullopt;
  const std::string_view digits = id.substr(kItemIdPrefix.size());
  std::size_t index = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
    return std::nullopt;
  }
  if (index >= items_.size()) return std::nullopt;
  switch (action.kind) {
    case SemanticActionKind::Activate:
      return choose(index);
    case SemanticActionKind::Focus:
      set_highlighted(index);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void ContextMenu::draw(Painter& painter, const Theme& theme) const {
  if (!open_) return;
  surfaces::CardStyle card;
  card.elevation = surfaces::Elevation::Overlay;
  surfaces::card(painter, rect_, theme, card);
  const bool any_icon = std::any_of(items_.begin(), items_.end(),
                                    [](const MenuItem& item) { return icon_glyph(item.icon); });
  const double text_x = rect_.x0 + (any_icon ? 42 : 14);
  TextStyle style;
  style.size = theme.body_size;
  const double line = painter.text().line_height(style);
  TextLayoutOptions options;
  options.wrap_width = std::max(1.0, rect_.x1 - 12 - text_x);
  options.max_lines = 1;
  options.ellipsize = Ellipsize::End;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const MenuItem& item = items_[i];
    const Rect row = item_rect(i);
    if (highlight_ == i) {
      const Color fill =
          item.destructive ? theme.danger.with_alpha(0.18) : theme.accent.with_alpha(0.18);
      painter.fill_rounded_rect(row.inset(4), 8, fill);
    }
    style.color = item.disabled      ? theme.text_faint
                  : item.destructive ? theme.danger
                                     : theme.text_strong;
    const double y = row.y0 + (row.height() - line) / 2;
    if (const char* glyph = icon_glyph(item.icon)) {
      painter.draw_text(glyph, {rect_.x0 + 14, y}, style);
    }
    painter.draw_text(item.label, {text_x, y}, style, options);
  }
}

AccessNode ContextMenu::accessibility() const {
  AccessNode node;
  if (!open_) return node;
  node.id = std::string(kNodeId);
  node.label = "Context menu";
  node.role = AccessRole::Menu;
  node.rect = rect_;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    AccessNode child;
    child.id = item_node_id(i);
    child.label = items_[i].label;
    child.role = AccessRole::MenuItem;
    child.rect = item_rect(i);
    child.selected = highlight_ == i;
    child.disabled = items_[i].disabled;
    child.tag = items_[i].destructive ? "destructive" : "";
    node.children.push_back(std::move(child));
  }
  return node;
}

}  // namespace zarn_ui
