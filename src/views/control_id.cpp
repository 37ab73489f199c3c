#include "views/control_id.h"

#include <array>

namespace chat::views {

namespace {
constexpr std::array<std::string_view, kControlKindCount> kNames = {
    "Inbox",          "CurrentContext", "Channel",         "VoiceChannel",
    "CategoryToggle", "AddChannel",     "AddCategory",     "FocusRename",
    "Reaction",       "AddReaction",    "OpenThread",      "EditHistory",
    "MessageMenu",    "EditSave",       "EditCancel",      "FocusEdit",
    "EmojiChoice",    "FocusMain",      "FocusThread",     "Send",
    "JumpToLatest",   "ComposerEmoji",  "Attach",          "AttachPick",
    "StartCall",      "CloseThread",    "CallDragHandle",  "CallParticipantsToggle",
    "CallMute",       "CallDeafen",     "CallAudioOnly",   "CallShareScreen",
    "CallExpand",     "CallLeave",      "ToggleLeftFlap",  "ToggleRightFlap",
    "Dismiss",
};
}  // namespace

std::string_view kind_name(ControlKind kind) {
  const auto i = static_cast<std::size_t>(kind);
  return i < kNames.size() ? kNames[i] : std::string_view("Unknown");
}

std::string string_id(const ControlId& id) {
  using K = ControlKind;
  switch (id.kind) {
    case K::Inbox: return "chat.inbox";
    case K::CurrentContext: return "chat.current-context";
    case K::Channel: return "chat.channel:" + id.a;
    case K::VoiceChannel: return "chat.voice-channel:" + id.a;
    case K::CategoryToggle: return "chat.category-toggle:" + id.a;
    case K::AddChannel: return "chat.add-channel:" + id.a + ":" + id.b;
    case K::AddCategory: return "chat.add-category:" + id.a;
    case K::FocusRename: return "chat.rename";
    case K::Reaction: return "chat.reaction:" + id.a + ":" + id.b;
    case K::AddReaction: return "chat.add-reaction:" + id.a;
    case K::OpenThread: return "chat.open-thread:" + id.a;
    case K::EditHistory: return "chat.edit-history:" + id.a;
    case K::MessageMenu: return "chat.control:MessageMenu { msg: \"" + id.a + "\" }";
    case K::EditSave: return "chat.edit-save";
    case K::EditCancel: return "chat.edit-cancel";
    case K::FocusEdit: return "chat.message-edit";
    case K::EmojiChoice: return "chat.emoji-choice:" + id.a;
    case K::FocusMain: return "chat.composer";
    case K::FocusThread: return "chat.thread-composer";
    case K::Send: return "chat.send";
    case K::JumpToLatest: return "chat.jump-to-latest";
    case K::ComposerEmoji: return "chat.composer-emoji";
    case K::Attach: return "chat.attach";
    case K::AttachPick: return "chat.attach-pick:" + id.a;
    case K::StartCall: return "chat.start-call";
    case K::CloseThread: return "chat.close-thread";
    case K::CallDragHandle: return "chat.control:CallDragHandle";
    case K::CallParticipantsToggle: return "chat.call-participants";
    case K::CallMute: return "chat.call-mute";
    case K::CallDeafen: return "chat.call-deafen";
    case K::CallAudioOnly: return "chat.call-audio-only";
    case K::CallShareScreen: return "chat.call-share-screen";
    case K::CallExpand: return "chat.call-expand";
    case K::CallLeave: return "chat.call-leave";
    case K::ToggleLeftFlap: return "chat.toggle-navigation";
    case K::ToggleRightFlap: return "chat.toggle-details";
    case K::Dismiss: return "chat.control:Dismiss";
  }
  return "chat.control:Unknown";
}

}  // namespace chat::views
