#include <algorithm>
#include <string>
#include <vector>

#include "views/conversation.h"
#include "views/people.h"

namespace chat::views {

namespace {

using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextLayoutOptions;
using zarn_ui::TextStyle;

constexpr double kWidth = 380;
constexpr double kMargin = 8;
constexpr double kTextWrap = 352;
constexpr double kEntriesTop = 38;
constexpr double kEntryGap = 10;  // each side of the rule between entries

struct Version {
  std::string label;
  const std::string* text;
};

}  // namespace

Rect place_popover(const Rect& anchor, const Rect& bounds, double width, double height,
                   double margin) {
  double x = anchor.x0;
  double y = anchor.y1 + 6;
  if (y + height > bounds.y1 - margin) y = anchor.y0 - 6 - height;
  x = std::clamp(x, bounds.x0 + margin, std::max(bounds.x0 + margin, bounds.x1 - margin - width));
  y = std::clamp(y, bounds.y0 + margin, std::max(bounds.y0 + margin, bounds.y1 - margin - height));
  return Rect::from_xywh(x, y, width, height);
}

void draw_edit_history_popover(ViewFrame& frame) {
  auto& st = frame.state;
  if (!st.history.open) return;
  const document::Message* message = nullptr;
  for (const auto& m : frame.model.messages) {
    if (m.id == st.history.message) {
      message = &m;
      break;
    }
  }
  if (!message) return;
  const Rect& bounds = st.layout.bounds;
  frame.add_region(bounds, ControlId::of(ControlKind::Dismiss));

  // The current text dates from the last edit; each earlier version from the edit that
  // replaced it.
  std::vector<Version> versions;
  const std::int64_t now_ts = message->history.empty() ? message->ts : message->history.back().ts;
  versions.push_back({"Now · " + time_label(now_ts), &message->text});
  for (auto it = message->history.rbegin(); it != message->history.rend(); ++it) {
    versions.push_back({"Edited · " + time_label(it->ts), &it->text});
  }

  const auto& theme = frame.theme;
  auto& text = frame.text();
  const double width = std::min(kWidth, std::max(bounds.width() - 2 * kMargin, 1.0));
  const double wrap = std::min(kTextWrap, std::max(width - 28, 1.0));
  const TextStyle label_style{11, zarn_ui::FontWeight::Semibold, theme.text_faint};
  const TextStyle body_style{13, zarn_ui::FontWeight::Regular, theme.text_strong};
  TextLayoutOptions body_opts;
  body_opts.wrap_width = wrap;

  std::vector<std::pair<double, double>> sizes;  // label and text heights
  double height = kEntriesTop;
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const double lh = text.measure(versions[i].label, label_style).height;
    const double th = text.measure(*versions[i].text, body_style, body_opts).height;
    sizes.emplace_back(lh, th);
    if (i > 0) height += 2 * kEntryGap + 1;
    height += lh + 4 + th;
  }
  height += 14;
  height = std::min(height, std::max(bounds.height() - 2 * kMargin, 1.0));

  const Rect card = place_popover(st.history.anchor, bounds, width, height, kMargin);
  st.layout.popover_cards.push_back(card);
  const double x = card.x0;
  const double y = card.y0;

  auto& p = frame.painter;
  p.shadow(card, 14, {});
  p.fill_rounded_rect(card, 14, theme.surface_overlay);
  p.stroke_rounded_rect(card, 14, theme.edge, 1);
  p.push_clip(card, 14);
  p.draw_text("Edit history", {x + 14, y + 12}, {13, zarn_ui::FontWeight::Bold, theme.text_strong});
  double cy = y + kEntriesTop;
  for (std::size_t i = 0; i < versions.size() && cy < card.y1; ++i) {
    if (i > 0) {
      cy += kEntryGap;
      p.line({x + 14, cy + 0.5}, {card.x1 - 14, cy + 0.5}, theme.edge, 1);
      cy += 1 + kEntryGap;
    }
    p.draw_text(versions[i].label, {x + 14, cy}, label_style);
    cy += sizes[i].first + 4;
    p.draw_text(*versions[i].text, {x + 14, cy}, body_style, body_opts);
    cy += sizes[i].second;
  }
  p.pop_clip();
}

}  // namespace chat::views
