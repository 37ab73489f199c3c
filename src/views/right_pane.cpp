#include "views/right_pane.h"

#include <cairo.h>

#include <algorithm>
#include <vector>

#include "views/attachment_card.h"
#include "views/conversation.h"
#include "views/layout.h"
#include "views/people.h"

namespace chat::views {

namespace {

using zarn_ui::Color;
using zarn_ui::FontWeight;
using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::Size;
using zarn_ui::TextLayoutOptions;
using zarn_ui::TextStyle;

TextLayoutOptions wrapped(double width) {
  TextLayoutOptions o;
  o.wrap_width = std::max(width, 1.0);
  return o;
}

void draw_centered(ViewFrame& frame, std::string_view text, const TextStyle& st, Point center) {
  const Size size = frame.text().measure(text, st);
  frame.painter.draw_text(text, {center.x - size.width / 2, center.y - size.height / 2}, st);
}

bool hovered(const ViewFrame& frame, const ControlId& id) {
  return frame.state.hovered && *frame.state.hovered == id;
}

// A glyph button: lifted when hovered, a hairline otherwise.
void glyph_button(ViewFrame& frame, const Rect& r, double radius, std::string_view label,
                  double size, const ControlId& id) {
  const auto& theme = frame.theme;
  const bool hot = hovered(frame, id);
  frame.painter.fill_rounded_rect(r, radius, hot ? theme.surface_overlay : theme.surface_raised);
  frame.painter.stroke_rounded_rect(r, radius, theme.edge, 1);
  draw_centered(frame, label, style(size, hot ? theme.text_strong : theme.text_muted), r.center());
  frame.add_region(r, id);
}

void rule(ViewFrame& frame, double x0, double x1, double y) {
  frame.painter.fill_rect({x0, y, x1, y + 1}, frame.theme.edge);
}

std::string workspace_name(const ViewFrame& frame) {
  for (const auto& ws : frame.model.workspaces) {
    if (ws.id == frame.state.selection.selected_workspace) {
      if (auto name = trimmed(ws.name); !name.empty()) return name;
      break;
    }
  }
  return "Zarn workspace";
}

// The name of the voice channel the user is in, if any.
std::optional<std::string> voice_channel_of(const document::ReadModel& model,
                                            std::string_view user) {
  for (const auto& call : model.calls) {
    for (const auto& member : call.members) {
      if (member.user != user) continue;
      const auto* channel = find_channel(model, call.channel);
      return channel ? channel->name : call.channel;
    }
  }
  return std::nullopt;
}

void draw_people(ViewFrame& frame, const Rect& pane) {
  const auto& theme = frame.theme;
  const auto& people = frame.model.people;
  const bool agents =
      std::any_of(people.begin(), people.end(), [](const auto& p) { return p.agent; });
  const double left = pane.x0;
  const double top = pane.y0;

  frame.painter.draw_text(agents ? "Collaborators" : "People", {left + 16, top + 12},
                          style(15, theme.text_strong, FontWeight::Semibold),
                          one_line(pane.x1 - 70 - left - 16));
  frame.painter.draw_text(people_subtitle(people.size(), agents, workspace_name(frame)),
                          {left + 16, top + 31}, style(11.5, theme.text_muted),
                          one_line(pane.x1 - 70 - left - 16));
  glyph_button(frame, Rect::from_xywh(pane.x1 - 12 - 28, top + 12, 28, 28), 8, "✕", 13,
               ControlId::of(ControlKind::ToggleRightFlap));
  rule(frame, left, pane.x1, top + 52);

  const TextStyle name_style = style(14, theme.text_strong, FontWeight::Medium);
  const double name_h = frame.text().line_height(name_style);
  for (std::size_t i = 0; i < people.size(); ++i) {
    const auto& person = people[i];
    const Rect row{left + 8, top + 60 + 46 * static_cast<double>(i), pane.x1 - 8,
                   top + 106 + 46 * static_cast<double>(i)};
    if (row.y0 >= pane.y1) break;
    if (frame.state.highlighted_person && *frame.state.highlighted_person == person.id) {
      frame.painter.fill_rounded_rect(row.inset(1), 10, theme.surface_overlay);
    }
    const double cy = row.center().y;
    draw_user_avatar(frame, {left + 16 + 16, cy}, 16, person.id, theme.surface_raised);
    std::string name = display_name(frame.state, frame.model, person.id);
    // A local user whose name is the placeholder "You" would read "You (you)".
    if (frame.state.is_self(person.id) && name != "You") name += " (you)";
    if (person.agent) name += " (agent)";
    const double tx = left + 60;
    const double text_w = pane.x1 - 16 - tx;
    const double block_top = cy - (name_h + 2 + 15) / 2;
    frame.painter.draw_text(name, {tx, block_top}, name_style, one_line(text_w));
    if (auto voice = voice_channel_of(frame.model, person.id)) {
      frame.painter.draw_text("🔊 In voice · " + *voice, {tx, block_top + name_h + 2},
                              style(11.5, theme.accent), one_line(text_w));
    } else {
      frame.painter.draw_text(presence_label(person.status), {tx, block_top + name_h + 2},
                              style(11.5, theme.text_muted), one_line(text_w));
    }
  }
}

// Lays out (and, when `paint`, draws) one thread row starting at `y`; returns where it ends.
double thread_row(ViewFrame& frame, const Rect& pane, const document::Message& msg, double y,
                  bool paint) {
  const auto& theme = frame.theme;
  const double s = frame.scale();
  const double m = std::min(s, 1.2);
  const double top = y + 12 * s;
  const double row_left = pane.x0 + 16 * m;
  const double tx = pane.x0 + 58 * m;
  const double wrap = std::max(pane.x1 - tx - 14 * m, 60.0);
  double bottom = top;

  if (find_person(frame.model, msg.author)) {
    const double r = 14 * m;
    const Point c{row_left + 16 * m, top + 14 * s};
    if (paint) draw_user_avatar(frame, c, r, msg.author, theme.surface_raised);
    bottom = std::max(bottom, c.y + r);
  }

  const std::string author = author_label(frame.state, frame.model, msg.author);
  const TextStyle author_style =
      style(13.5, user_color(frame.state, frame.model, theme, msg.author), FontWeight::Bold);
  const std::string time = time_label(msg.ts);
  const TextStyle time_style = style(11, theme.text_faint);
  const double time_w = frame.text().measure(time, time_style).width;
  const TextLayoutOptions author_line = one_line(std::max(wrap - time_w - 8 * s, 20.0));
  const Size author_size = frame.text().measure(author, author_style, author_line);
  if (paint) {
    frame.painter.draw_text(author, {tx, top}, author_style, author_line);
    frame.painter.draw_text(time, {tx + author_size.width + 8 * s, top + 2 * s}, time_style);
  }
  double cy = top + 19 * s;
  bottom = std::max(bottom, top + author_size.height);

  if (!msg.text.empty()) {
    const TextStyle body = style(14, theme.text_strong);
    const Size size = paint ? frame.painter.draw_text(msg.text, {tx, cy}, body, wrapped(wrap))
                            : frame.text().measure(msg.text, body, wrapped(wrap));
    cy += size.height + 4 * s;
  }
  if (msg.attachment) {
    Size card;
    if (paint) {
      card = draw_attachment_card(frame, *msg.attachment, {tx, cy}, wrap);
    } else {
      const bool allowed = attachment_access_allowed(attachment_blob(*msg.attachment), true) &&
                           frame.state.can_read();
      card = attachment_card_size(*msg.attachment, wrap, s, allowed);
    }
    cy += card.height + 6 * s;
  }
  if (!msg.reactions.empty()) {
    const TextStyle pill_style = style(11.5, theme.text_strong);
    double px = tx;
    for (const auto& group : msg.reactions) {
      const std::string label = group.emoji + " " + std::to_string(group.users.size());
      const double w = frame.text().measure(label, pill_style).width + 16;
      if (px > tx && px + w > tx + wrap) {
        px = tx;
        cy += 22 + 5 * s;
      }
      if (paint) {
        const Rect pill = Rect::from_xywh(px, cy, w, 22);
        frame.painter.fill_rounded_rect(pill, 11, theme.surface_overlay);
        frame.painter.stroke_rounded_rect(pill, 11, theme.edge, 1);
        draw_centered(frame, label, pill_style, pill.center());
      }
      px += w + 5 * s;
    }
    cy += 28 * s;
  }
  bottom = std::max(bottom, cy);
  return bottom + 10 * s;
}

// The "{} replies" line between two rules; returns where it ends.
double reply_divider(ViewFrame& frame, const Rect& pane, std::size_t replies, double y,
                     bool paint) {
  const double s = frame.scale();
  const TextStyle st = style(11.5, frame.theme.text_muted, FontWeight::Medium);
  const std::string label = reply_count_label(replies);
  const Size size = frame.text().measure(label, st);
  const double mid = y + 8 * s + size.height / 2;
  if (paint) {
    const double cx = (pane.x0 + pane.x1) / 2;
    draw_centered(frame, label, st, {cx, mid});
    rule(frame, pane.x0 + 16, cx - size.width / 2 - 12, mid);
    rule(frame, cx + size.width / 2 + 12, pane.x1 - 16, mid);
  }
  return y + 16 * s + size.height;
}

// Returns the composer card (the view-only card without the write permission).
Rect draw_thread_composer(ViewFrame& frame, const Rect& pane) {
  auto& state = frame.state;
  const auto& theme = frame.theme;
  const double s = frame.scale();
  auto& input = state.thread_composer;
  if (input.placeholder().empty()) input.set_placeholder("Reply…");
  const double wrap = composer_wrap_width(pane.x0, pane.x1);
  const double text_h = input.content_height(frame.text(), wrap);
  const Rect card = composer_rect(pane.x0, pane.x1, pane.y1, s, text_h);

  if (!state.can_write()) {
    state.layout.thread_composer = {};
    frame.painter.fill_rounded_rect(card, 14, theme.surface_sunken);
    frame.painter.stroke_rounded_rect(card, 14, theme.edge, 1);
    draw_centered(frame, "🔒 View-only access to this workspace", style(14, theme.text_muted),
                  card.center());
    return card;
  }
  state.layout.thread_composer = card;
  const bool focused = input.is_focused();
  frame.painter.fill_rounded_rect(card, 14, theme.surface_overlay);
  frame.painter.stroke_rounded_rect(card, 14, focused ? theme.focus : theme.edge,
                                    focused ? 1.6 : 1.0);
  frame.add_region(card, ControlId::of(ControlKind::FocusThread));

  const double button_h = std::min(36.0, card.height() - 8);
  const double by = card.center().y - button_h / 2;
  const Rect send{card.x1 - 6 - 44, by, card.x1 - 6, by + button_h};
  const Rect emoji{send.x0 - 36, by, send.x0, by + button_h};
  const Rect text_rect{card.x0 + 16, card.y0 + 8, emoji.x0 - 4, card.y1 - 8};
  input.draw(frame.painter, text_rect, theme);

  ControlId emoji_id = ControlId::of(ControlKind::ComposerEmoji);
  emoji_id.anchor = emoji;
  if (hovered(frame, emoji_id)) frame.painter.fill_rounded_rect(emoji, 10, theme.surface_raised);
  draw_centered(frame, "🙂", style(16, theme.text_muted), emoji.center());
  frame.add_region(emoji, emoji_id);

  const bool can_send = !trimmed(input.text()).empty();
  const Rect knob = Rect::from_xywh(send.center().x - 17, send.center().y - 17, 34, 34);
  frame.painter.fill_rounded_rect(knob, 10, can_send ? theme.accent : theme.surface_raised);
  draw_centered(frame, "➤", style(15, can_send ? theme.accent_text : theme.text_faint),
                knob.center());
  frame.add_region(send, ControlId::of(ControlKind::Send));
  return card;
}

void draw_thread(ViewFrame& frame, const Rect& pane, const std::string& root) {
  auto& state = frame.state;
  const auto& theme = frame.theme;
  const double s = frame.scale();
  const double left = pane.x0;
  const double top = pane.y0;

  // Header.
  const bool back = state.layout.flags.compact && s <= 1.25;
  double title_x = left + 16;
  double title_right = pane.x1 - 16;
  if (back) {
    const Rect r = Rect::from_xywh(left + 14, top + (52 * s - 32) / 2, 66, 32);
    glyph_button(frame, r, 9, "← Back", 12.5, ControlId::of(ControlKind::CloseThread));
    title_x = left + 92;
  } else {
    const double side = std::min(s, 1.2) * 44;
    const Rect r = Rect::from_xywh(pane.x1 - 8 - side, top + (52 * s - side) / 2, side, side);
    glyph_button(frame, r, 10, "✕", 14, ControlId::of(ControlKind::CloseThread));
    title_right = r.x0 - 8;
  }
  frame.painter.draw_text("Thread", {title_x, top + 9 * s},
                          style(15, theme.text_strong, FontWeight::Semibold),
                          one_line(title_right - title_x));
  const auto* channel = find_channel(frame.model, frame.model.current_channel);
  frame.painter.draw_text("#" + (channel ? channel->name : std::string()), {title_x, top + 29 * s},
                          style(11.5, theme.text_muted), one_line(title_right - title_x));
  rule(frame, left, pane.x1, top + 52 * s);

  // The composer first: the messages fill what it leaves.
  const double composer_top = draw_thread_composer(frame, pane).y0;

  const document::Message* parent = nullptr;
  std::vector<const document::Message*> replies;
  for (const auto& msg : frame.model.messages) {
    if (msg.id == root) parent = &msg;
    if (msg.parent && *msg.parent == root) replies.push_back(&msg);
  }

  const Rect area{left, top + 52 * s + 1, pane.x1, std::max(composer_top - 8, top + 52 * s + 1)};
  auto lay_out = [&](double y, bool paint) {
    if (parent) y = thread_row(frame, pane, *parent, y, paint);
    y = reply_divider(frame, pane, replies.size(), y, paint);
    for (const auto* reply : replies) y = thread_row(frame, pane, *reply, y, paint);
    return y;
  };
  // A thread taller than the pane keeps its newest replies in view.
  const double height = lay_out(0, false);
  const double y0 = height > area.height() ? area.y1 - height : area.y0;
  frame.painter.push_clip(area);
  lay_out(y0, true);
  if (y0 < area.y0) {
    // Rows cut by the header fade out instead of ending on a hard edge.
    const Color panel = theme.surface_raised;
    cairo_t* cr = frame.painter.cr();
    cairo_pattern_t* fade = cairo_pattern_create_linear(0, area.y0, 0, area.y0 + 20);
    cairo_pattern_add_color_stop_rgba(fade, 0, panel.r, panel.g, panel.b, 1);
    cairo_pattern_add_color_stop_rgba(fade, 1, panel.r, panel.g, panel.b, 0);
    cairo_save(cr);
    cairo_rectangle(cr, area.x0 + 1, area.y0, area.width() - 1, 20);
    cairo_set_source(cr, fade);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_pattern_destroy(fade);
  }
  frame.painter.pop_clip();
}

}  // namespace

void draw_right_pane(ViewFrame& frame) {
  auto& state = frame.state;
  const Rect pane = state.layout.panes.right_pane;
  state.layout.thread_composer = {};
  if (pane.empty()) return;
  const auto& theme = frame.theme;

  if (state.layout.flags.compact) {
    zarn_ui::ShadowStyle shadow;
    shadow.blur = 28;
    shadow.offset = {-6, 0};
    shadow.color = Color{0, 0, 0, 0.45};
    frame.painter.shadow(pane, 0, shadow);
  }
  frame.painter.push_clip(pane);
  frame.painter.fill_rect(pane, theme.surface_raised);
  frame.painter.fill_rect({pane.x0, pane.y0, pane.x0 + 1, pane.y1}, theme.edge);
  if (state.selection.open_thread) {
    draw_thread(frame, pane, *state.selection.open_thread);
  } else {
    draw_people(frame, pane);
  }
  frame.painter.pop_clip();
}

std::string people_subtitle(std::size_t count, bool with_agents, std::string_view workspace) {
  const char* noun = with_agents ? (count == 1 ? "collaborator" : "collaborators")
                                 : (count == 1 ? "person" : "people");
  return std::to_string(count) + " " + noun + " · " + std::string(workspace);
}

std::string_view presence_label(document::Presence status) {
  switch (status) {
    case document::Presence::Online:
      return "Online";
    case document::Presence::Idle:
      return "Idle";
    case document::Presence::Dnd:
      return "Do not disturb";
    case document::Presence::Offline:
      return "Offline";
  }
  return "Offline";
}

}  // namespace chat::views
