#include <algorithm>
#include <cmath>

#include "views/people.h"
#include "views/popovers.h"

namespace chat::views {

namespace {

using zarn_ui::Rect;
using zarn_ui::Size;

constexpr double kMargin = 8;
constexpr double kRadius = 14;
constexpr double kGridLeft = 12;
constexpr double kTitleX = 14;
constexpr double kTitleY = 12;
constexpr double kFirstLabelY = 36;
constexpr double kLabelToGrid = 16;
constexpr double kGridToLabel = 18;
constexpr double kGridTail = 6;
constexpr double kGutter = 2;  // each side of a cell's hit region
constexpr double kLabelSize = 10.5;
constexpr double kEmojiSize = 19;

double place_axis(double want, double lo, double hi, double extent) {
  // A card larger than the space stays pinned at the low edge rather than leaving it.
  return std::max(lo + kMargin, std::min(want, hi - kMargin - extent));
}

double grid_height(std::size_t count) {
  const auto rows = (count + kEmojiColumns - 1) / kEmojiColumns;
  return static_cast<double>(rows) * kEmojiCell + kGridTail;
}

// Top of each group's label, relative to the card.
std::vector<double> label_offsets() {
  std::vector<double> out;
  double y = kFirstLabelY;
  for (const auto& group : emoji_groups()) {
    out.push_back(y);
    y += kLabelToGrid + grid_height(group.emoji.size()) + kGridToLabel;
  }
  return out;
}

}  // namespace

const std::vector<EmojiGroup>& emoji_groups() {
  static const std::vector<EmojiGroup> groups = {
      {"Frequent", {"👍", "🎉", "❤️", "😂", "🚀", "👀"}},
      {"Smileys", {"😀", "😄", "😁", "😂", "🙂", "😉", "😍", "😎", "🤔", "😇", "🥳", "😴"}},
      {"Gestures", {"👍", "👎", "👏", "🙌", "🙏", "💪", "🤝", "👋", "✌️", "🤙", "👀", "🫶"}},
      {"Symbols", {"❤️", "🔥", "⭐", "✨", "🎉", "🚀", "💯", "✅", "❌", "⚡", "💡", "📌"}},
      {"Objects", {"☕", "🍕", "🎧", "📷", "🖥️", "📝", "🐛", "🌈", "🌙", "☀️", "🎈", "🧩"}},
  };
  return groups;
}

Rect emoji_picker_rect(const Rect& anchor, const Rect& bounds) {
  const double x = place_axis(anchor.x0, bounds.x0, bounds.x1, kEmojiPickerWidth);
  const double y = place_axis(anchor.y1, bounds.y0, bounds.y1, kEmojiPickerHeight);
  return Rect::from_xywh(x, y, kEmojiPickerWidth, kEmojiPickerHeight);
}

std::vector<Rect> emoji_cells(const Rect& card) {
  std::vector<Rect> cells;
  const auto labels = label_offsets();
  const auto& groups = emoji_groups();
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const double top = card.y0 + labels[g] + kLabelToGrid;
    for (std::size_t i = 0; i < groups[g].emoji.size(); ++i) {
      const double col = static_cast<double>(i % kEmojiColumns);
      const double row = static_cast<double>(i / kEmojiColumns);
      cells.push_back(Rect::from_xywh(card.x0 + kGridLeft + col * kEmojiCell,
                                      top + row * kEmojiCell, kEmojiCell, kEmojiCell));
    }
  }
  return cells;
}

std::string_view emoji_picker_title(const EmojiPickerState& picker) {
  return picker.message ? "Add reaction" : "Emoji";
}

void draw_emoji_picker(ViewFrame& frame) {
  auto& st = frame.state;
  if (!st.picker.open) return;
  const Rect& bounds = st.layout.bounds;
  frame.add_region(bounds, ControlId::of(ControlKind::Dismiss));

  const auto& theme = frame.theme;
  auto& p = frame.painter;
  auto& text = frame.text();
  const Rect card = emoji_picker_rect(st.picker.anchor, bounds);
  st.layout.popover_cards.push_back(card);

  p.shadow(card, kRadius, {18, {0, 8}, {0, 0, 0, 0.45}});
  p.fill_rounded_rect(card, kRadius, theme.surface_overlay);
  p.stroke_rounded_rect(card, kRadius, theme.edge, 1);
  p.push_clip(card, kRadius);

  p.draw_text(emoji_picker_title(st.picker), {card.x0 + kTitleX, card.y0 + kTitleY},
              style(13, theme.text_strong, zarn_ui::FontWeight::Bold));

  const auto label_style = style(kLabelSize, theme.text_faint, zarn_ui::FontWeight::Semibold);
  const auto emoji_style = style(kEmojiSize, theme.text_strong);
  const auto labels = label_offsets();
  const auto cells = emoji_cells(card);
  const auto& groups = emoji_groups();
  const zarn_ui::Color hover_fill = theme.text_strong.with_alpha(0.09);

  std::size_t index = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    p.draw_text(groups[g].label, {card.x0 + kTitleX, card.y0 + labels[g]}, label_style);
    for (const std::string_view emoji : groups[g].emoji) {
      const Rect& cell = cells[index++];
      ControlId id = ControlId::of(ControlKind::EmojiChoice, std::string(emoji));
      const Rect hit = cell.inset(kGutter);
      if (st.hovered && *st.hovered == id) p.fill_rounded_rect(hit, 8, hover_fill);
      const Size sz = text.measure(emoji, emoji_style);
      p.draw_text(
          emoji,
          {cell.x0 + (cell.width() - sz.width) / 2, cell.y0 + (cell.height() - sz.height) / 2},
          emoji_style);
      frame.add_region(hit, std::move(id));
    }
  }
  p.pop_clip();
}

}  // namespace chat::views
