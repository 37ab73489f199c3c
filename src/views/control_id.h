// ControlId: every interactive control the views paint, with its stable "chat." string id.
// The same value drives hit testing, keyboard focus, tooltips and the accessibility tree.
// HitRegion is one rectangle registered for a control by draw, in paint order. Plain data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/zarn_ui/geometry.h"

namespace chat::views {

// The order is fixed: it is the order of the debug names.
enum class ControlKind : std::uint8_t {
  Inbox,
  CurrentContext,
  Channel,
  VoiceChannel,
  CategoryToggle,
  AddChannel,
  AddCategory,
  FocusRename,
  Reaction,
  AddReaction,
  OpenThread,
  EditHistory,
  MessageMenu,
  EditSave,
  EditCancel,
  FocusEdit,
  EmojiChoice,
  FocusMain,
  FocusThread,
  Send,
  JumpToLatest,
  ComposerEmoji,
  Attach,
  AttachPick,
  StartCall,
  CloseThread,
  CallDragHandle,
  CallParticipantsToggle,
  CallMute,
  CallDeafen,
  CallAudioOnly,
  CallShareScreen,
  CallExpand,
  CallLeave,
  ToggleLeftFlap,
  ToggleRightFlap,
  Dismiss,
};

inline constexpr int kControlKindCount = 37;

// The variant name ("Inbox", "AddChannel", ...).
std::string_view kind_name(ControlKind kind);

// One control. `a` and `b` carry the payload:
//   Channel, VoiceChannel: a = channel id          CategoryToggle: a = category id
//   AddChannel: a = workspace, b = category         AddCategory: a = workspace id
//   Reaction: a = message, b = emoji                AddReaction, EditHistory: a = message
//   OpenThread, MessageMenu: a = message id         EmojiChoice: a = emoji
//   AttachPick: a = file path
// `anchor` is the rectangle of the control that opens a popover (AddReaction, EditHistory,
// ComposerEmoji); it takes no part in equality.
struct ControlId {
  ControlKind kind = ControlKind::Inbox;
  std::string a{};
  std::string b{};
  zarn_ui::Rect anchor{};

  static ControlId of(ControlKind kind, std::string a = {}, std::string b = {}) {
    return {kind, std::move(a), std::move(b), {}};
  }
  bool operator==(const ControlId& o) const { return kind == o.kind && a == o.a && b == o.b; }
};

// "chat.inbox", "chat.channel:c_general", "chat.control:Dismiss", ...
std::string string_id(const ControlId& id);

struct HitRegion {
  zarn_ui::Rect rect{};
  ControlId id{};
};

}  // namespace chat::views
