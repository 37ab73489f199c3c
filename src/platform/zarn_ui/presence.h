// Presence and permissions the host hands to the root widget before each draw: who the local
// user is, who else is around, and what the user may do. A permissive context (every check
// passes) stands in until the host knows better. Plain data; UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/zarn_ui/geometry.h"

namespace zarn_ui {

struct Theme;

enum class Permission : std::uint8_t { Read, Write };

class PermissionContext {
 public:
  PermissionContext() = default;  // permissive
  static PermissionContext permissive() { return {}; }
  static PermissionContext read_only() { return PermissionContext(true, false); }
  static PermissionContext none() { return PermissionContext(false, false); }

  bool can_read() const { return read_; }
  bool can_write() const { return write_; }
  bool allows(Permission p) const { return p == Permission::Read ? read_ : write_; }

 private:
  PermissionContext(bool read, bool write) : read_(read), write_(write) {}
  bool read_ = true;
  bool write_ = true;
};

enum class PresenceState : std::uint8_t { Online, Idle, DoNotDisturb, Offline };

struct PresenceEntry {
  std::string user_id{};
  std::string display_name{};
  PresenceState state = PresenceState::Offline;
  std::optional<std::size_t> color_index{};  // host-assigned; else derived from the id
};

struct PresenceCtx {
  std::optional<std::string> self_user_id{};
  std::optional<std::string> self_display_name{};
  std::vector<PresenceEntry> roster{};
  PermissionContext permissions{};

  const PresenceEntry* find(std::string_view user_id) const;
  PresenceState state_of(std::string_view user_id) const;  // Offline when unknown
  std::size_t color_index_for(std::string_view user_id) const;
  Color color_for(std::string_view user_id, const Theme& theme) const;
};

namespace presence {

// 64-bit FNV-1a of the id's bytes; stable across runs and machines.
std::uint64_t fnv1a64(std::string_view bytes);
// fnv1a64(user_id) % 8.
std::size_t user_color_index(std::string_view user_id);
Color user_color(std::string_view user_id, const Theme& theme);
Color state_color(PresenceState state, const Theme& theme);

}  // namespace presence

}  // namespace zarn_ui
