#include "views/people.h"

#include <algorithm>
#include <cstdio>

#include "platform/zarn_ui/avatar.h"
#include "platform/zarn_ui/presence.h"
#include "views/frame.h"

namespace chat::views {

namespace {
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
}  // namespace

bool ViewState::is_self(std::string_view user_id) const {
  if (user_id == local.id) return true;
  for (const auto& id : self_ids) {
    if (id == user_id) return true;
  }
  return false;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return std::string(text);
}

const document::Channel* find_channel(const document::ReadModel& model, std::string_view id) {
  for (const auto& c : model.channels) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const document::Workspace* find_workspace(const document::ReadModel& model, std::string_view id) {
  for (const auto& w : model.workspaces) {
    if (w.id == id) return &w;
  }
  return nullptr;
}

const document::Message* find_message(const document::ReadModel& model, std::string_view id) {
  for (const auto& m : model.messages) {
    if (m.id == id) return &m;
  }
  for (const auto& m : model.all_messages) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

zarn_ui::TextStyle style(double size, zarn_ui::Color color, zarn_ui::FontWeight weight) {
  zarn_ui::TextStyle s;
  s.size = size;
  s.color = color;
  s.weight = weight;
  return s;
}

zarn_ui::TextLayoutOptions one_line(double width) {
  zarn_ui::TextLayoutOptions o;
  o.wrap_width = std::max(width, 1.0);
  o.ellipsize = zarn_ui::Ellipsize::End;
  o.max_lines = 1;
  return o;
}

const document::Person* find_person(const document::ReadModel& model, std::string_view id) {
  for (const auto& p : model.users) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

std::string display_name(const ViewState& state, const document::ReadModel& model,
                         std::string_view id) {
  if (auto it = state.roster.find(id); it != state.roster.end()) {
    if (auto name = trimmed(it->second.name); !name.empty()) return name;
  }
  for (const auto& p : model.people) {
    if (p.id == id) {
      if (auto name = trimmed(p.name); !name.empty()) return name;
      break;
    }
  }
  if (state.is_self(id)) {
    if (auto name = trimmed(state.local.name); !name.empty()) return name;
  }
  return std::string(id);
}

std::string author_label(const ViewState& state, const document::ReadModel& model,
                         std::string_view id) {
  if (state.is_self(id)) return "You";
  const std::string name = display_name(state, model, id);
  if (name != id && !trimmed(name).empty()) return name;
  std::string_view piece = id;
  if (auto cut = piece.find_last_of("@:"); cut != std::string_view::npos) {
    piece = piece.substr(cut + 1);
  }
  if (piece.empty()) return "Someone (" + std::string(id) + ")";
  // The last four characters (Unicode scalar values), not bytes.
  std::size_t start = piece.size();
  for (int n = 0; n < 4 && start > 0;) {
    --start;
    if ((static_cast<unsigned char>(piece[start]) & 0xC0) != 0x80) ++n;
  }
  return "Someone (" + std::string(piece.substr(start)) + ")";
}

std::string time_label(std::int64_t ts) {
  std::int64_t secs = ts % 86400;
  if (secs < 0) secs += 86400;
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d:%02d", static_cast<int>(secs / 3600),
                static_cast<int>(secs % 3600 / 60));
  return buf;
}

zarn_ui::Color person_color(const zarn_ui::Theme& theme, std::int64_t color_idx) {
  std::int64_t i = color_idx % 8;
  if (i < 0) i += 8;
  return theme.person_colors[static_cast<std::size_t>(i)];
}

zarn_ui::Color user_color(const ViewState& state, const document::ReadModel& model,
                          const zarn_ui::Theme& theme, std::string_view id) {
  if (state.is_self(id)) return person_color(theme, static_cast<std::int64_t>(state.local.color_idx));
  if (const auto* p = find_person(model, id)) return person_color(theme, p->color_idx);
  return zarn_ui::presence::user_color(id, theme);
}

zarn_ui::Color presence_color(const zarn_ui::Theme& theme, document::Presence status) {
  switch (status) {
    case document::Presence::Online: return theme.presence_online;
    case document::Presence::Idle: return theme.presence_idle;
    case document::Presence::Dnd: return theme.presence_dnd;
    case document::Presence::Offline: return theme.presence_offline;
  }
  return theme.presence_offline;
}

void draw_user_avatar(ViewFrame& frame, zarn_ui::Point center, double radius,
                      std::string_view user_id, zarn_ui::Color ring, bool presence_dot) {
  const auto* person = find_person(frame.model, user_id);
  if (!person) {
    zarn_ui::Avatar("?", frame.theme.text_faint).draw(frame.painter, center, radius);
    return;
  }
  std::string initials = person->initials;
  if (initials.empty()) {
    initials = zarn_ui::Avatar::initials_for_name(display_name(frame.state, frame.model, user_id));
  }
  if (initials.empty()) initials = "?";
  zarn_ui::Avatar(initials, user_color(frame.state, frame.model, frame.theme, user_id))
      .draw(frame.painter, center, radius);
  if (!presence_dot) return;
  const zarn_ui::Point dot{center.x + 0.72 * radius, center.y + 0.72 * radius};
  const double r = 0.32 * radius;
  frame.painter.fill_circle(dot, r + 2, ring);
  frame.painter.fill_circle(dot, r, presence_color(frame.theme, person->status));
}

}  // namespace chat::views
