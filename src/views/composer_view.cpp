#include <algorithm>

#include "views/conversation_detail.h"
#include "views/people.h"

namespace chat::views::conversation_detail {

namespace {

using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextStyle;

void centred_glyph(ViewFrame& frame, const Rect& r, std::string_view glyph, double size,
                   zarn_ui::Color color) {
  const TextStyle style{size, zarn_ui::FontWeight::Regular, color};
  const Size sz = frame.text().measure(glyph, style);
  frame.painter.draw_text(
      glyph, {r.x0 + (r.width() - sz.width) / 2, r.y0 + (r.height() - sz.height) / 2}, style);
}

}  // namespace

void draw_main_composer(ViewFrame& frame, const Rect& card) {
  auto& st = frame.state;
  auto& p = frame.painter;
  const auto& theme = frame.theme;
  if (card.empty()) return;

  if (!st.can_write()) {
    p.fill_rounded_rect(card, 14, theme.surface_raised);
    p.stroke_rounded_rect(card, 14, theme.edge, 1);
    centred_glyph(frame, card, "🔒 View-only access to this workspace", 14, theme.text_muted);
    return;
  }

  const bool focused = st.main_composer.is_focused();
  p.fill_rounded_rect(card, 14, theme.surface_raised);
  p.stroke_rounded_rect(card, 14, focused ? theme.focus : theme.edge, focused ? 1.6 : 1.0);
  frame.add_region(card, ControlId::of(ControlKind::FocusMain));

  // Buttons stay on the first line's band when a long draft makes the card grow.
  const double s = frame.scale() > 0 ? frame.scale() : 1;
  const double band = std::min(card.height(), 76 * s);
  const double cy = card.y1 - band / 2;

  const Rect attach{card.x0 + 10, cy - 17, card.x0 + 10 + 34, cy + 17};
  p.fill_circle(attach.center(), 15, theme.surface_overlay);
  centred_glyph(frame, attach, "+", 18, theme.text_muted);
  frame.add_region(attach, ControlId::of(ControlKind::Attach));

  const Rect send{card.x1 - 8 - 44, cy - 17, card.x1 - 8, cy + 17};
  const bool can_send = !trimmed(st.main_composer.text()).empty();
  p.fill_rounded_rect(send, 10, can_send ? theme.accent : theme.surface_overlay);
  centred_glyph(frame, send, "➤", 16, can_send ? theme.accent_text : theme.text_faint);

  const Rect emoji{send.x0 - 4 - 34, cy - 17, send.x0 - 4, cy + 17};
  centred_glyph(frame, emoji, "🙂", 16, theme.text_strong);
  ControlId emoji_id = ControlId::of(ControlKind::ComposerEmoji);
  emoji_id.anchor = emoji;
  frame.add_region(emoji, std::move(emoji_id));
  frame.add_region(send, ControlId::of(ControlKind::Send));

  const Rect area{attach.x1 + 8, card.y0 + 10, emoji.x0 - 8, card.y1 - 10};
  if (area.empty()) return;
  p.push_clip(area.inset(-2));  // room for the caret at the edges
  st.main_composer.draw(p, area, theme);
  p.pop_clip();
}

}  // namespace chat::views::conversation_detail
