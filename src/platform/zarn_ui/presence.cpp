#include "platform/zarn_ui/presence.h"

#include "platform/zarn_ui/theme.h"

namespace zarn_ui {

const PresenceEntry* PresenceCtx::find(std::string_view user_id) const {
  for (const auto& e : roster) {
    if (e.user_id == user_id) return &e;
  }
  return nullptr;
}

PresenceState PresenceCtx::state_of(std::string_view user_id) const {
  const PresenceEntry* e = find(user_id);
  return e ? e->state : PresenceState::Offline;
}

std::size_t PresenceCtx::color_index_for(std::string_view user_id) const {
  const PresenceEntry* e = find(user_id);
  if (e && e->color_index) return *e->color_index % 8;
  return presence::user_color_index(user_id);
}

Color PresenceCtx::color_for(std::string_view user_id, const Theme& theme) const {
  return theme.person_color(color_index_for(user_id));
}

namespace presence {

std::uint64_t fnv1a64(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::size_t user_color_index(std::string_view user_id) {
  return static_cast<std::size_t>(fnv1a64(user_id) % 8);
}

Color user_color(std::string_view user_id, const Theme& theme) {
  return theme.person_color(user_color_index(user_id));
}

Color state_color(PresenceState state, const Theme& theme) {
  switch (state) {
    case PresenceState::Online:
      return theme.presence_online;
    case PresenceState::Idle:
      return theme.presence_idle;
    case PresenceState::DoNotDisturb:
      return theme.presence_dnd;
    case PresenceState::Offline:
      break;
  }
  return theme.presence_offline;
}

}  // namespace presence
}  // namespace zarn_ui
