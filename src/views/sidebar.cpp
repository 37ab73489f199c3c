#include "views/sidebar.h"

#include <glib.h>
#include <pango/pango.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "i18n/catalog.h"
#include "platform/zarn_ui/avatar.h"
#include "views/layout.h"
#include "views/people.h"

namespace chat::views {

namespace {

using zarn_ui::Color;
using zarn_ui::FontWeight;
using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextStyle;

constexpr double kColumnWidth = kLeftPaneWidth - kRailWidth;  // 248
constexpr double kRowInset = 8;  // rows sit this far inside the column on both sides
constexpr double kRowGap = 2;
constexpr double kCategoryGap = 6;

Color mix(Color a, Color b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}

// The pane's two surfaces: both darker than the conversation, the rail darkest.
Color rail_color(const zarn_ui::Theme& th) {
  return mix(th.surface_sunken, {0, 0, 0, 1}, 0.3);
}
Color column_color(const zarn_ui::Theme& th) {
  return th.surface_sunken;
}

Size measure(ViewFrame& f, std::string_view text, const TextStyle& s,
             const zarn_ui::TextLayoutOptions& o = {}) {
  return f.text().measure(text, s, o);
}

// Draws `text` centred in `r`.
void draw_centered(ViewFrame& f, std::string_view text, const Rect& r, const TextStyle& s) {
  const Size sz = measure(f, text, s);
  f.painter.draw_text(text,
                      {r.x0 + (r.width() - sz.width) / 2, r.y0 + (r.height() - sz.height) / 2}, s);
}

// Draws one line of `text` left-aligned at `x`, vertically centred on `cy`, cut to `width`.
Size draw_line(ViewFrame& f, std::string_view text, double x, double cy, const TextStyle& s,
               double width) {
  const auto o = one_line(width);
  const Size sz = measure(f, text, s, o);
  f.painter.draw_text(text, {x, cy - sz.height / 2}, s, o);
  return sz;
}

bool is_hovered(const ViewFrame& f, const ControlId& id) {
  return f.state.hovered && *f.state.hovered == id;
}

std::string upper(std::string_view text) {
  gchar* up = g_utf8_strup(text.data(), static_cast<gssize>(text.size()));
  std::string out = up ? up : std::string(text);
  g_free(up);
  return out;
}

bool self_listed(const ViewFrame& f) {
  return std::any_of(f.model.people.begin(), f.model.people.end(),
                     [&](const document::Person& p) { return f.state.is_self(p.id); });
}

bool is_renaming(const ViewState& st, RenameTarget::Kind kind, std::string_view id) {
  return st.rename && st.rename->kind == kind && st.rename->id == id;
}

// The rename input in its 22-tall card; the card is the FocusRename region.
void draw_rename_field(ViewFrame& f, const Rect& card, double text_size) {
  const auto& th = f.theme;
  f.painter.fill_rounded_rect(card, 5, th.surface_base);
  f.painter.stroke_rounded_rect(card, 5, th.focus, 1);
  TextStyle s = f.state.rename_input.text_style();
  s.size = text_size;
  f.state.rename_input.set_text_style(s);
  f.painter.push_clip(card, 5);
  f.state.rename_input.draw(f.painter, {card.x0 + 6, card.y0, card.x1 - 6, card.y1}, th);
  f.painter.pop_clip();
  f.add_region(card, ControlId::of(ControlKind::FocusRename));
}

// A count on an accent pill whose right end is at `right`, centred on `cy`.
void draw_count_pill(ViewFrame& f, std::string_view text, double right, double cy) {
  const TextStyle s = style(11, f.theme.accent_text, FontWeight::Bold);
  const Size sz = measure(f, text, s);
  const double h = std::max(sz.height + 4, 18.0);
  const double w = std::max(sz.width + 12, h);
  const Rect pill{right - w, cy - h / 2, right, cy + h / 2};
  f.painter.fill_rounded_rect(pill, h / 2, f.theme.accent);
  draw_centered(f, text, pill, s);
}

// Vertical placement of rows: everything stops once one element does not fit above `limit`.
struct Cursor {
  double y = 0;
  double limit = 0;
  bool full = false;

  bool fits(double h) {
    if (!full && y + h > limit) full = true;
    return !full;
  }
};

// ---- Workspace rail -------------------------------------------------------------------------

void draw_inbox_button(ViewFrame& f, double x, double y0) {
  const auto& th = f.theme;
  const Rect button = Rect::from_xywh(x + 10, y0 + 16, 48, 48);
  const ControlId id = ControlId::of(ControlKind::Inbox);
  const bool on = f.state.inbox_mode;
  const bool hover = is_hovered(f, id);
  if (on) {
    f.painter.fill_rounded_rect(button, 16, th.accent);
  } else {
    f.painter.fill_rounded_rect(button, 24, hover ? th.surface_overlay : th.surface_raised);
  }
  const Color glyph = on ? th.accent_text : hover ? th.text_strong : th.text_muted;
  draw_centered(f, "✉", button, style(20, glyph));

  const std::string badge = inbox_badge_text(total_unread(f.model));
  if (!badge.empty()) {
    const TextStyle s = style(9, th.accent_text, FontWeight::Bold);
    const double w = std::max(21.0, measure(f, badge, s).width + 8);
    const Rect pill{button.x1 + 6 - w, button.y0 - 5, button.x1 + 6, button.y0 + 16};
    // A ring in the rail's colour keeps the badge readable over the button's edge.
    f.painter.fill_rounded_rect(pill.inset(-2), 12.5, rail_color(th));
    f.painter.fill_rounded_rect(pill, 10.5, th.danger);
    draw_centered(f, badge, pill, s);
  }
  f.add_region(button, id);
}

// The workspace's glyph, else its initials, else "?".
std::string workspace_glyph(const document::Workspace* ws) {
  if (ws) {
    if (std::string g = trimmed(ws->glyph); !g.empty()) return g;
    if (std::string g = zarn_ui::Avatar::initials_for_name(ws->name); !g.empty()) return g;
  }
  return std::string(1, '?');
}

void draw_current_workspace_button(ViewFrame& f, double x, double y0) {
  const auto& th = f.theme;
  const Rect button = Rect::from_xywh(x + 10, y0 + 16 + 66, 48, 48);
  const ControlId id = ControlId::of(ControlKind::CurrentContext);
  const auto* ws = find_workspace(f.model, f.state.selection.context_workspace);
  if (!ws) ws = find_workspace(f.model, f.model.context_workspace);

  const std::string glyph = workspace_glyph(ws);

  const bool hover = is_hovered(f, id);
  if (!f.state.inbox_mode) {
    Color tile = ws ? person_color(th, ws->color_idx) : th.surface_overlay;
    if (hover) tile = mix(tile, {1, 1, 1, 1}, 0.08);
    f.painter.fill_rounded_rect(button, 16, tile);
    f.painter.fill_rounded_rect({x + 3, button.y0 + 8, x + 7, button.y0 + 40}, 2, th.text_strong);
    draw_centered(f, glyph, button, style(17, th.accent_text, FontWeight::Bold));
  } else {
    f.painter.fill_rounded_rect(button, 24, th.text_muted.with_alpha(hover ? 0.34 : 0.24));
    draw_centered(f, glyph, button, style(17, th.text_muted, FontWeight::Bold));
  }
  f.add_region(button, id);
}

void draw_rail(ViewFrame& f, double x, double y0) {
  draw_inbox_button(f, x, y0);
  f.painter.line({x + 18, y0 + 73}, {x + 50, y0 + 73}, f.theme.edge, 2);
  draw_current_workspace_button(f, x, y0);
}

// ---- Channel rows ---------------------------------------------------------------------------

const document::VoiceCall* find_call(const document::ReadModel& m, std::string_view channel) {
  for (const auto& c : m.calls) {
    if (c.channel == channel) return &c;
  }
  return nullptr;
}

void draw_channel_row_body(ViewFrame& f, const document::Channel& ch, const Rect& row,
                           bool renaming) {
  const auto& th = f.theme;
  const auto& st = f.state;
  const bool current = !ch.voice && ch.id == st.selection.current_channel;
  const bool unread = ch.unread > 0;
  const ControlId id =
      ControlId::of(ch.voice ? ControlKind::VoiceChannel : ControlKind::Channel, ch.id);
  const double cy = row.center().y;

  if (current) {
    f.painter.fill_rounded_rect(row, 8, th.surface_raised);
    f.painter.fill_rounded_rect({row.x0, cy - 10, row.x0 + 2, cy + 10}, 1, th.accent);
  } else if (is_hovered(f, id)) {
    f.painter.fill_rounded_rect(row, 8, th.surface_raised.with_alpha(0.6));
  }

  const Color name_color = unread || current ? th.text_strong : th.text_muted;
  draw_line(f, ch.voice ? "🔊" : "#", row.x0 + 10, cy, style(14, th.text_faint), 22);

  if (renaming) {
    draw_rename_field(f, {row.x0 + 28, cy - 11, row.x1 - 4, cy + 11}, 14);
    return;
  }
  draw_line(f, ch.name, row.x0 + 32, cy,
            style(14, name_color, unread ? FontWeight::Bold : FontWeight::Regular),
            row.width() - 80);

  if (st.call.in_call && st.call.channel == ch.id) {
    f.painter.fill_circle({row.x1 - 16, cy}, 4, th.accent);
  } else if (unread) {
    draw_count_pill(f, std::to_string(ch.unread), row.x1 - 8, cy);
  }
}

void draw_channel_row(ViewFrame& f, const document::Channel& ch, const Rect& row) {
  const auto& th = f.theme;
  const auto& g = f.state.gesture;
  const bool renaming = is_renaming(f.state, RenameTarget::Kind::Channel, ch.id);
  const double shift = g.active && g.channel == ch.id ? std::max(g.press.x - g.current.x, 0.0) : 0;

  if (shift > 1) {
    // The delete affordance shows in the space the row uncovers as it slides left.
    f.painter.push_clip(row, 8);
    f.painter.fill_rounded_rect(row, 8, th.danger);
    const double gap = std::min(shift, row.width());
    draw_centered(f, "🗑", {row.x1 - gap, row.y0, row.x1, row.y1}, style(14, th.accent_text));
    f.painter.pop_clip();
    f.painter.push_translate(-shift, 0);
    f.painter.fill_rounded_rect(row, 8, column_color(th));
    draw_channel_row_body(f, ch, row, renaming);
    f.painter.pop_transform();
  } else {
    draw_channel_row_body(f, ch, row, renaming);
  }
  if (!renaming) {
    f.add_region(row,
                 ControlId::of(ch.voice ? ControlKind::VoiceChannel : ControlKind::Channel, ch.id));
  }
}

void draw_call_members(ViewFrame& f, const document::Channel& ch, double x0, double x1,
                       Cursor& cur) {
  const auto* call = find_call(f.model, ch.id);
  if (!call) return;
  const auto& th = f.theme;
  const TextStyle name_style = style(12, th.text_muted);
  const double line_h = std::max(f.text().line_height(name_style) + 6, 24.0);
  for (const auto& m : call->members) {
    if (!cur.fits(line_h + kRowGap)) return;
    const double cy = cur.y + line_h / 2;
    const Point avatar{x0 + 32 + 9, cy};
    if (m.talking && !m.muted) f.painter.stroke_circle(avatar, 11.5, th.accent, 2);
    draw_user_avatar(f, avatar, 9, m.user, column_color(th), false);

    const char* mark = m.muted ? "🔇" : m.audio_only ? "🎧" : nullptr;
    double name_right = x1 - 8;
    if (mark) {
      const TextStyle ms = style(11, th.text_faint);
      const Size sz = measure(f, mark, ms);
      f.painter.draw_text(mark, {x1 - 8 - sz.width, cy - sz.height / 2}, ms);
      name_right -= sz.width + 6;
    }
    const double name_x = avatar.x + 9 + 8;
    draw_line(f, display_name(f.state, f.model, m.user), name_x, cy, name_style,
              name_right - name_x);
    cur.y += line_h + kRowGap;
  }
}

double channel_row_height(ViewFrame& f) {
  return std::max(f.text().line_height(style(14, f.theme.text_strong)) + 12, 32.0);
}

// One channel row plus its call members; false once the column is full.
bool place_channel(ViewFrame& f, const document::Channel& ch, double x0, double x1, Cursor& cur) {
  const double h = channel_row_height(f);
  if (!cur.fits(h)) return false;
  draw_channel_row(f, ch, {x0, cur.y, x1, cur.y + h});
  cur.y += h + kRowGap;
  if (ch.voice) draw_call_members(f, ch, x0, x1, cur);
  return !cur.full;
}

// ---- Workspace mode -------------------------------------------------------------------------

// Title and online pill; returns the header block's height.
double draw_sidebar_header(ViewFrame& f, double col_x, double y0) {
  const auto& th = f.theme;
  const double col_r = col_x + kColumnWidth;
  const auto* ws = find_workspace(f.model, f.state.selection.selected_workspace);
  const std::string title = (ws ? ws->name : std::string("Zarn workspace")) + " channels";
  const Size tsz =
      draw_line(f, title, col_x + 16, y0 + 26,
                style(th.title_size, th.text_strong, FontWeight::Bold), kColumnWidth - 32);
  if (!self_listed(f)) return 52;

  std::size_t online = 0;
  bool agents = false;
  for (const auto& p : f.model.people) {
    if (p.status == document::Presence::Online) ++online;
    agents = agents || p.agent;
  }
  const std::string text = online_pill_text(online, agents);
  const TextStyle s = style(10.5, th.text_muted, FontWeight::Semibold);
  const Size text_sz = measure(f, text, s);
  const double h = std::max(text_sz.height + 4, 18.0);
  const double lead = 8 + 7 + 5;  // padding, dot, gap
  const double natural = lead + text_sz.width + 9;

  const double title_end = col_x + 16 + tsz.width + 8;
  const double remaining = col_r - 16 - title_end;
  Rect pill;
  double header = 52;
  if (remaining >= 72) {
    pill = {title_end, y0 + 26 - h / 2, title_end + std::min(natural, remaining), y0 + 26 + h / 2};
  } else {
    const double top = y0 + 26 + tsz.height / 2 + 4;
    pill = {col_x + 16, top, col_x + 16 + std::min(natural, kColumnWidth - 32), top + h};
    header = std::max(header, pill.y1 + 6 - y0);
  }
  f.painter.fill_rounded_rect(pill, 9, th.surface_overlay);
  f.painter.fill_circle({pill.x0 + 8 + 3.5, pill.center().y}, 3.5, th.presence_online);
  draw_line(f, text, pill.x0 + lead, pill.center().y, s, pill.width() - lead - 9);
  return header;
}

// The catalogue's label, with its full-width plus sign swapped for an ASCII one when no
// installed font can draw it (a missing-glyph box is worse than a narrower plus).
std::string chip_label(ViewFrame& f, const TextStyle& s) {
  std::string label = i18n::t("chat-sidebar-add-category");
  constexpr std::string_view kWidePlus = "\uFF0B";
  const auto at = label.find(kWidePlus);
  if (at == std::string::npos) return label;
  const zarn_ui::RichTextLayout shaped = f.text().layout(label, {}, s);
  if (!shaped.empty() && pango_layout_get_unknown_glyphs_count(shaped.pango_layout()) > 0) {
    std::string ascii = label.substr(0, at);
    ascii.push_back('+');
    ascii.append(label, at + kWidePlus.size());
    return ascii;
  }
  return label;
}

// The "+ Category" chip; returns its bottom edge.
double draw_category_chip(ViewFrame& f, double col_x, double top) {
  const auto& th = f.theme;
  const TextStyle s = style(11, th.text_muted, FontWeight::Semibold);
  const std::string label = chip_label(f, s);
  const Size sz = measure(f, label, s);
  const Rect chip = Rect::from_xywh(col_x + 12, top, std::max(sz.width + 20, 106.0),
                                    std::max(sz.height + 8, 22.0));
  const ControlId id =
      ControlId::of(ControlKind::AddCategory, f.state.selection.selected_workspace);
  f.painter.fill_rounded_rect(chip, 7, is_hovered(f, id) ? th.surface_overlay : th.surface_raised);
  f.painter.stroke_rounded_rect(chip.inset(0.5), 6.5, th.edge, 1);
  draw_centered(f, label, chip,
                is_hovered(f, id) ? style(11, th.text_strong, FontWeight::Semibold) : s);
  f.add_region(chip, id);
  return chip.y1;
}

void draw_category_header(ViewFrame& f, const document::Category& cat, const Rect& row) {
  const auto& th = f.theme;
  const double cy = row.center().y;
  const Rect plus{row.x1 - row.height(), row.y0, row.x1, row.y1};
  const ControlId toggle = ControlId::of(ControlKind::CategoryToggle, cat.id);
  const ControlId add = ControlId::of(ControlKind::AddChannel, cat.workspace, cat.id);
  const bool hover = is_hovered(f, toggle);
  const Color ink = hover ? th.text_strong : th.text_faint;

  draw_line(f, cat.collapsed ? "▸" : "▾", row.x0 + 6, cy, style(10, ink), 12);
  const double name_x = row.x0 + 20;
  if (is_renaming(f.state, RenameTarget::Kind::Category, cat.id)) {
    f.add_region({row.x0, row.y0, plus.x0, row.y1}, toggle);
    draw_rename_field(f, {name_x - 4, cy - 11, plus.x0 - 4, cy + 11}, 12);
  } else {
    draw_line(f, upper(cat.name), name_x, cy, style(10.5, ink, FontWeight::Bold),
              plus.x0 - 4 - name_x);
    f.add_region({row.x0, row.y0, plus.x0, row.y1}, toggle);
  }

  const Rect square = plus.inset(2);
  if (is_hovered(f, add)) f.painter.fill_rounded_rect(square, 6, th.surface_raised);
  draw_centered(f, "+", square, style(16, is_hovered(f, add) ? th.text_strong : th.text_faint));
  f.add_region(plus, add);
}

// The identity bar's height, or nothing when it is not shown.
std::optional<double> identity_bar_height(ViewFrame& f) {
  if (!self_listed(f) && !f.state.call.in_call) return std::nullopt;
  const double name_h = f.text().line_height(style(13, f.theme.text_strong, FontWeight::Bold));
  const double status_h = f.text().line_height(style(11, f.theme.text_muted));
  return std::max(name_h + status_h + 20, 56.0);
}

void draw_identity_bar(ViewFrame& f, double col_x, const Rect& bar) {
  const auto& th = f.theme;
  const auto& st = f.state;
  const double col_r = col_x + kColumnWidth;
  f.painter.fill_rect(bar, rail_color(th));
  f.painter.line({bar.x0, bar.y0 + 0.5}, {bar.x1, bar.y0 + 0.5}, th.edge, 1);

  const double cy = bar.center().y;
  const Point avatar{col_x + 12 + 16, cy};
  if (find_person(f.model, st.local.id)) {
    draw_user_avatar(f, avatar, 16, st.local.id, rail_color(th));
  } else {
    const std::string initials = st.local.initials.empty() ? "?" : st.local.initials;
    zarn_ui::Avatar(initials, person_color(th, static_cast<std::int64_t>(st.local.color_idx)))
        .draw(f.painter, avatar, 16);
  }

  double text_right = col_r - 12;
  if (st.call.in_call) {
    const TextStyle gs = style(14, th.text_strong);
    const double side = std::max(f.text().line_height(gs) + 10, 32.0);
    const struct {
      ControlKind kind;
      const char* glyph;
      bool active;
    } toggles[] = {
        {ControlKind::CallMute, st.call.muted ? "🔇" : "🎙", st.call.muted},
        {ControlKind::CallDeafen, "🎧", st.call.deafened},
    };
    double x = col_r - 10 - side * 2 - 6;
    text_right = x - 8;
    for (const auto& t : toggles) {
      const Rect r = Rect::from_xywh(x, cy - side / 2, side, side);
      const ControlId id = ControlId::of(t.kind);
      Color fill = t.active ? th.danger : th.surface_overlay;
      if (is_hovered(f, id)) fill = mix(fill, {1, 1, 1, 1}, 0.08);
      f.painter.fill_rounded_rect(r, 8, fill);
      draw_centered(f, t.glyph, r, gs);
      f.add_region(r, id);
      x += side + 6;
    }
  }

  const double text_x = avatar.x + 16 + 10;
  const TextStyle ns = style(13, th.text_strong, FontWeight::Bold);
  const TextStyle ss = style(11, st.call.in_call ? th.success : th.text_muted);
  const double name_h = f.text().line_height(ns);
  const double status_h = f.text().line_height(ss);
  const double top = cy - (name_h + status_h) / 2;
  const double width = std::max(text_right - text_x, 1.0);
  f.painter.draw_text(display_name(st, f.model, st.local.id), {text_x, top}, ns, one_line(width));
  const std::string status =
      i18n::t(st.call.in_call ? "chat-identity-in-voice" : "chat-identity-available");
  f.painter.draw_text(status, {text_x, top + name_h}, ss, one_line(width));
}

void draw_workspace_sidebar(ViewFrame& f, double x) {
  const Rect& b = f.state.layout.bounds;
  const double col_x = x + kRailWidth;
  const double header = draw_sidebar_header(f, col_x, b.y0);
  const double chip_bottom = draw_category_chip(f, col_x, b.y0 + header + 6);

  const auto bar_h = identity_bar_height(f);
  Cursor cur{chip_bottom + 10, b.y1 - bar_h.value_or(0) - 6};
  const double x0 = col_x + kRowInset;
  const double x1 = col_x + kColumnWidth - kRowInset;
  const std::string& ws = f.state.selection.selected_workspace;

  const auto category_exists = [&](std::string_view id) {
    return std::any_of(
        f.model.categories.begin(), f.model.categories.end(),
        [&](const document::Category& c) { return c.id == id && c.workspace == ws; });
  };
  // A channel whose category is gone is listed with the uncategorised ones rather than lost.
  for (const auto& ch : f.model.channels) {
    if (ch.workspace != ws || ch.archived) continue;
    if (!ch.category.empty() && category_exists(ch.category)) continue;
    if (!place_channel(f, ch, x0, x1, cur)) break;
  }

  const TextStyle head_style = style(10.5, f.theme.text_faint, FontWeight::Bold);
  const double head_h = std::max(f.text().line_height(head_style) + 8, 24.0);
  for (const auto& cat : f.model.categories) {
    if (cur.full) break;
    if (cat.workspace != ws) continue;
    cur.y += kCategoryGap;
    if (!cur.fits(head_h)) break;
    draw_category_header(f, cat, {x0, cur.y, x1, cur.y + head_h});
    cur.y += head_h + 2;
    if (cat.collapsed) continue;
    for (const auto& ch : f.model.channels) {
      if (ch.workspace != ws || ch.category != cat.id || ch.archived) continue;
      if (!place_channel(f, ch, x0, x1, cur)) break;
    }
  }

  if (bar_h) draw_identity_bar(f, col_x, {col_x, b.y1 - *bar_h, col_x + kColumnWidth, b.y1});
}

// ---- Inbox mode -----------------------------------------------------------------------------

void draw_inbox_row(ViewFrame& f, const document::Channel& ch, const Rect& row) {
  const auto& th = f.theme;
  const ControlId id = ControlId::of(ControlKind::Channel, ch.id);
  const bool current = ch.id == f.state.selection.current_channel;
  const bool unread = ch.unread > 0;
  const double cy = row.center().y;
  if (current) {
    f.painter.fill_rounded_rect(row, 8, th.surface_raised);
    f.painter.fill_rounded_rect({row.x0, cy - 12, row.x0 + 4, cy + 12}, 2, th.accent);
  } else if (is_hovered(f, id)) {
    f.painter.fill_rounded_rect(row, 8, th.surface_raised.with_alpha(0.6));
  }
  draw_line(f, "#", row.x0 + 10, cy, style(14, th.text_faint), 20);
  draw_line(f, ch.name, row.x0 + 32, cy,
            style(13.5, unread || current ? th.text_strong : th.text_muted,
                  unread ? FontWeight::Bold : FontWeight::Regular),
            row.width() - 80);
  if (unread) draw_count_pill(f, std::to_string(ch.unread), row.x1 - 8, cy);
  f.add_region(row, id);
}

void draw_inbox_sidebar(ViewFrame& f, double x) {
  const auto& th = f.theme;
  const Rect& b = f.state.layout.bounds;
  const double col_x = x + kRailWidth;
  const double col_r = col_x + kColumnWidth;
  f.painter.draw_text("Inbox", {col_x + 16, b.y0 + 13}, style(17, th.text_strong, FontWeight::Bold),
                      one_line(kColumnWidth - 32));
  f.painter.draw_text("Conversations across Zarn workspaces", {col_x + 16, b.y0 + 36},
                      style(10.5, th.text_muted), one_line(kColumnWidth - 32));
  f.painter.line({col_x + 12, b.y0 + 58.5}, {col_r - 12, b.y0 + 58.5}, th.edge, 1);

  const TextStyle group_style = style(10, th.text_faint, FontWeight::Bold);
  const double group_h = std::max(f.text().line_height(group_style) + 8, 22.0);
  const double row_h = std::max(f.text().line_height(style(13.5, th.text_strong)) + 12, 36.0);
  const double x0 = col_x + kRowInset;
  const double x1 = col_r - kRowInset;
  Cursor cur{b.y0 + 58 + 8, b.y1 - 6};
  for (const auto& ws : f.model.workspaces) {
    if (!cur.fits(group_h)) break;
    draw_line(f, upper(ws.name), x0 + 8, cur.y + group_h / 2, group_style, x1 - x0 - 16);
    cur.y += group_h;
    for (const auto& ch : f.model.channels) {
      if (ch.workspace != ws.id || ch.voice || ch.archived) continue;
      if (!cur.fits(row_h)) break;
      draw_inbox_row(f, ch, {x0, cur.y, x1, cur.y + row_h});
      cur.y += row_h + kRowGap;
    }
    cur.y += 6;
  }
}

}  // namespace

std::uint64_t total_unread(const document::ReadModel& model) {
  std::uint64_t total = 0;
  for (const auto& ch : model.channels) total += ch.unread;
  return total;
}

std::string inbox_badge_text(std::uint64_t total) {
  if (total == 0) return {};
  if (total >= 100) return "99+";
  return std::to_string(total);
}

std::string online_pill_text(std::size_t online, bool with_agents) {
  const char* noun = with_agents ? (online == 1 ? "collaborator" : "collaborators")
                                 : (online == 1 ? "person" : "people");
  return std::to_string(online) + " " + noun + " online";
}

void draw_left_pane(ViewFrame& frame, double x) {
  const auto& th = frame.theme;
  const Rect& b = frame.state.layout.bounds;
  const Rect pane{x, b.y0, x + kLeftPaneWidth, b.y1};
  if (frame.state.layout.flags.narrow) {
    // Sliding over the conversation, the pane casts a shadow onto it.
    frame.painter.shadow(pane, 0, {18, {4, 0}, {0, 0, 0, 0.45}});
  }
  frame.painter.fill_rect({x, b.y0, x + kRailWidth, b.y1}, rail_color(th));
  frame.painter.fill_rect({x + kRailWidth, b.y0, pane.x1, b.y1}, column_color(th));
  frame.painter.line({x + kRailWidth - 0.5, b.y0}, {x + kRailWidth - 0.5, b.y1}, th.edge, 1);
  frame.painter.line({pane.x1 - 0.5, b.y0}, {pane.x1 - 0.5, b.y1}, th.edge, 1);

  frame.painter.push_clip(pane);
  draw_rail(frame, x, b.y0);
  frame.painter.push_clip({x + kRailWidth, b.y0, pane.x1 - 1, b.y1});
  if (frame.state.inbox_mode) {
    draw_inbox_sidebar(frame, x);
  } else {
    draw_workspace_sidebar(frame, x);
  }
  frame.painter.pop_clip();
  frame.painter.pop_clip();
}

void draw_nav_toggle(ViewFrame& frame, const zarn_ui::Rect& heading) {
  const auto& st = frame.state;
  if (!st.layout.flags.narrow && st.layout.left.target()) return;
  const auto& th = frame.theme;
  const double cy = heading.center().y;
  const Rect button{heading.x0 + 12, cy - 16, heading.x0 + 44, cy + 16};
  const ControlId id = ControlId::of(ControlKind::ToggleLeftFlap);
  const bool hover = is_hovered(frame, id);
  frame.painter.fill_rounded_rect(button, 8, hover ? th.surface_overlay : th.surface_raised);
  draw_centered(frame, "☰", button, style(th.title_size, hover ? th.text_strong : th.text_muted));
  frame.add_region(button, id);
}

}  // namespace chat::views
