#include "views/control_label.h"

#include <cstdint>
#include <filesystem>

#include "views/people.h"

namespace chat::views {

namespace {

using K = ControlKind;
using zarn_ui::AccessRole;

const document::Category* find_category(const document::ReadModel& model, std::string_view id) {
  for (const auto& c : model.categories) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

bool self_reacted(const ControlId& id, const ViewState& state, const document::ReadModel& model) {
  const document::Message* msg = find_message(model, id.a);
  if (msg == nullptr) return false;
  for (const auto& group : msg->reactions) {
    if (group.emoji != id.b) continue;
    for (const auto& user : group.users) {
      if (state.is_self(user)) return true;
    }
  }
  return false;
}

std::uint64_t total_unread(const document::ReadModel& model) {
  std::uint64_t total = 0;
  for (const auto& c : model.channels) {
    if (!c.archived) total += c.unread;
  }
  return total;
}

std::string channel_label(const ControlId& id, const ViewState& state,
                          const document::ReadModel& model) {
  const document::Channel* ch = find_channel(model, id.a);
  const bool voice = ch ? ch->voice : id.kind == K::VoiceChannel;
  std::string label = channel_prefix(voice) + " " + (ch ? ch->name : id.a);
  if (state.inbox_mode) {
    const document::Workspace* ws = ch ? find_workspace(model, ch->workspace) : nullptr;
    label += ", from " + (ws && !ws->name.empty() ? ws->name : std::string("Zarn workspace"));
  }
  if (ch && ch->unread > 0) label += ", " + std::to_string(ch->unread) + " unread";
  return label;
}

// The file name of a path, or the whole text when it has none.
std::string file_label(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? path : name;
}

}  // namespace

std::string channel_prefix(bool voice) {
  return voice ? "\U0001F50A" : "#";
}

bool has_tooltip(ControlKind kind) {
  switch (kind) {
    case K::Inbox:
    case K::CurrentContext:
    case K::AddReaction:
    case K::Send:
    case K::ComposerEmoji:
    case K::Attach:
    case K::ToggleLeftFlap:
    case K::ToggleRightFlap:
      return true;
    default:
      return false;
  }
}

bool is_text_field(ControlKind kind) {
  return kind == K::FocusMain || kind == K::FocusThread || kind == K::FocusEdit ||
         kind == K::FocusRename;
}

std::optional<AccessRole> control_role(ControlKind kind) {
  switch (kind) {
    case K::Inbox:
    case K::CurrentContext:
      return AccessRole::Tab;
    case K::Channel:
    case K::VoiceChannel:
      return AccessRole::ListItem;
    case K::CategoryToggle:
    case K::Reaction:
    case K::CallParticipantsToggle:
    case K::CallMute:
    case K::CallDeafen:
    case K::CallAudioOnly:
    case K::CallShareScreen:
      return AccessRole::Toggle;
    case K::FocusRename:
      return AccessRole::TextField;
    case K::FocusEdit:
    case K::FocusMain:
    case K::FocusThread:
      return AccessRole::TextArea;
    case K::MessageMenu:
    case K::CallDragHandle:
    case K::Dismiss:
      return std::nullopt;
    default:
      return AccessRole::Button;
  }
}

std::string control_label(const ControlId& id, const ViewState& state,
                          const document::ReadModel& model) {
  switch (id.kind) {
    case K::Inbox: {
      const std::uint64_t unread = total_unread(model);
      return unread > 0 ? "Inbox, " + std::to_string(unread) + " unread" : "Inbox";
    }
    case K::CurrentContext: {
      const document::Workspace* ws = find_workspace(model, state.selection.context_workspace);
      if (ws == nullptr || ws->name.empty()) return "Current workspace";
      return ws->name + " channels, current workspace";
    }
    case K::Channel:
    case K::VoiceChannel:
      return channel_label(id, state, model);
    case K::CategoryToggle: {
      const document::Category* cat = find_category(model, id.a);
      const bool collapsed = cat && cat->collapsed;
      return std::string(collapsed ? "Expand " : "Collapse ") +
             (cat && !cat->name.empty() ? cat->name : std::string("category"));
    }
    case K::AddChannel:
      return "Add channel";
    case K::AddCategory:
      return "Add category";
    case K::FocusRename:
      return "Rename field";
    case K::Reaction:
      return std::string(self_reacted(id, state, model) ? "Remove " : "Add ") + id.b + " reaction";
    case K::AddReaction:
      return "Add reaction";
    case K::OpenThread:
      return "Open message thread";
    case K::EditHistory:
      return "Show edit history";
    case K::EditSave:
      return "Save message edit";
    case K::EditCancel:
      return "Cancel message edit";
    case K::FocusEdit:
      return "Edit message";
    case K::EmojiChoice:
      return "Choose " + id.a;
    case K::FocusMain:
      return "Message composer";
    case K::FocusThread:
      return "Thread reply composer";
    case K::Send:
      return "Send message";
    case K::JumpToLatest:
      return "Jump to latest message";
    case K::ComposerEmoji:
      return "Insert emoji";
    case K::Attach:
      return "Attach a workspace file";
    case K::AttachPick:
      return "Attach " + file_label(id.a);
    case K::StartCall:
      return "Start or open call";
    case K::CloseThread:
      return "Close thread";
    case K::CallParticipantsToggle:
      return "Show call participants";
    case K::CallMute:
      return "Mute microphone";
    case K::CallDeafen:
      return "Deafen call audio";
    case K::CallAudioOnly:
      return "Turn camera off";
    case K::CallShareScreen:
      return "Share screen";
    case K::CallExpand:
      return "Expand or restore call";
    case K::CallLeave:
      return "Leave call";
    case K::ToggleLeftFlap:
      return "Show conversation navigation";
    case K::ToggleRightFlap:
      return "Show people or thread";
    case K::MessageMenu:
    case K::CallDragHandle:
    case K::Dismiss:
      return {};
  }
  return {};
}

bool control_flag(const ControlId& id, const ViewState& state, const document::ReadModel& model) {
  switch (id.kind) {
    case K::Inbox:
      return state.inbox_mode;
    case K::CurrentContext:
      return !state.inbox_mode;
    case K::Channel:
    case K::VoiceChannel:
      return !id.a.empty() && id.a == state.selection.current_channel;
    case K::CategoryToggle: {
      const document::Category* cat = find_category(model, id.a);
      return !(cat && cat->collapsed);
    }
    case K::Reaction:
      return self_reacted(id, state, model);
    case K::CallParticipantsToggle:
      return state.call.participants_shown;
    case K::CallMute:
      return state.call.muted;
    case K::CallDeafen:
      return state.call.deafened;
    case K::CallAudioOnly:
      return state.call.audio_only;
    case K::CallShareScreen:
      return state.call.sharing;
    case K::CallExpand:
      return state.call.expanded;
    default:
      return false;
  }
}

std::optional<zarn_ui::AccessNode> control_node(const HitRegion& region, const ViewState& state,
                                                const document::ReadModel& model) {
  const auto role = control_role(region.id.kind);
  if (!role) return std::nullopt;
  zarn_ui::AccessNode node;
  node.id = string_id(region.id);
  node.label = control_label(region.id, state, model);
  node.role = *role;
  node.rect = region.rect;
  node.selected = control_flag(region.id, state, model);
  switch (region.id.kind) {
    case K::FocusMain:
      if (!state.layout.main_composer.empty()) node.rect = state.layout.main_composer;
      node.value = state.main_composer.text();
      break;
    case K::FocusThread:
      if (!state.layout.thread_composer.empty()) node.rect = state.layout.thread_composer;
      node.value = state.thread_composer.text();
      break;
    case K::FocusEdit:
      node.value = state.edit_input.text();
      break;
    case K::FocusRename:
      node.value = state.rename_input.text();
      break;
    default:
      break;
  }
  return node;
}

std::vector<FocusableControl> focusable_controls(std::span<const HitRegion> regions,
                                                 const ViewState& state,
                                                 const document::ReadModel& model) {
  std::vector<FocusableControl> out;
  out.reserve(regions.size());
  for (const auto& region : regions) {
    if (auto node = control_node(region, state, model)) out.push_back({region, std::move(*node)});
  }
  return out;
}

}  // namespace chat::views
