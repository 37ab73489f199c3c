#include "actions/dispatch.h"

#include <iostream>
#include <utility>

#include "actions/action_json.h"
#include "actions/typed_action.h"

namespace chat::actions {
namespace {

struct Described {
  std::string label;
  std::string kind;
  std::string id;
};

std::string pick(bool first, const char* yes, const char* no) {
  return first ? yes : no;
}

struct Describe {
  Described operator()(const SendMessage& a) const {
    return {"Send message", "chat.message", a.id};
  }
  Described operator()(const EditMessage& a) const {
    return {"Edit message", "chat.message", a.id};
  }
  Described operator()(const DeleteMessage& a) const {
    return {"Delete message", "chat.message", a.id};
  }
  Described operator()(const AddReaction& a) const {
    return {"Add reaction", "chat.message", a.msg};
  }
  Described operator()(const RemoveReaction& a) const {
    return {"Remove reaction", "chat.message", a.msg};
  }
  Described operator()(const PinMessage& a) const {
    return {pick(a.pinned, "Pin message", "Unpin message"), "chat.message", a.msg};
  }
  Described operator()(const CreateChannel& a) const {
    return {"Create channel", "chat.channel", a.id};
  }
  Described operator()(const CreateCategory& a) const {
    return {"Create category", "chat.category", a.id};
  }
  Described operator()(const RenameCategory& a) const {
    return {"Rename category", "chat.category", a.id};
  }
  Described operator()(const DeleteCategory& a) const {
    return {"Delete category", "chat.category", a.id};
  }
  Described operator()(const SetCategoryCollapsed& a) const {
    return {pick(a.collapsed, "Collapse category", "Expand category"), "chat.category", a.id};
  }
  Described operator()(const ReorderChannel& a) const {
    return {pick(a.up, "Move channel up", "Move channel down"), "chat.channel", a.id};
  }
  Described operator()(const RenameChannel& a) const {
    return {"Rename channel", "chat.channel", a.id};
  }
  Described operator()(const DeleteChannel& a) const {
    return {"Delete channel", "chat.channel", a.id};
  }
  Described operator()(const ArchiveChannel& a) const {
    return {pick(a.archived, "Archive channel", "Unarchive channel"), "chat.channel", a.id};
  }
  Described operator()(const MarkRead& a) const {
    return {"Mark channel read", "chat.channel", a.channel};
  }
  Described operator()(const SetAgentWork& a) const {
    return {"Update agent work", "chat.message", a.msg};
  }
  Described operator()(const JoinCall& a) const { return {"Join call", "chat.call", a.channel}; }
  Described operator()(const LeaveCall& a) const { return {"Leave call", "chat.call", a.channel}; }
  Described operator()(const SetCallState& a) const {
    return {"Update call state", "chat.call", a.channel};
  }
  Described operator()(const SetScreenShare& a) const {
    return {pick(a.sharing, "Start presenting", "Stop presenting"), "chat.call", a.channel};
  }
  Described operator()(const SetCallTicket& a) const {
    return {"Update call connection", "chat.call", a.channel};
  }
};

}  // namespace

DispatchState::DispatchState() : warn([](std::string_view line) { std::cerr << line << '\n'; }) {
  register_chat_action(registry);
}

std::string action_name(const ChatAction& action) {
  const Json j = to_json_value(action);
  if (!j.is_object() || j.size() != 1) return "Update";
  return zarn_actions::context::humanize_identifier(j.begin().key());
}

zarn_actions::ActionContext dispatch_context(
    const ChatAction& action, const std::optional<zarn_actions::ActorIdentity>& identity) {
  Described d = std::visit(Describe{}, action);
  zarn_actions::ActionContext ctx;
  ctx.app_id = std::string(kActionContextAppId);
  ctx.app_name = std::string(kActionContextAppName);
  ctx.action_name = action_name(action);
  ctx.label = std::move(d.label);
  ctx.target =
      zarn_actions::ActionTarget{d.kind + ":" + d.id, d.kind == "chat.message" ? "Message" : d.id};
  return identity ? ctx.enriched_by(*identity) : ctx;
}

zarn_actions::DispatchResult dispatch_chat_action(DispatchState& state, crdt::Document& doc,
                                                  const ChatAction& action) {
  const zarn_actions::EncodedAction encoded = encode_chat_action(action);
  const zarn_actions::ActionContext ctx = dispatch_context(action, state.identity);
  // The value applied is the one decoded from the bytes that replicate, so this replica and
  // its peers apply the same action.
  auto decoded = decode_chat_action(encoded.json);
  const ChatTypedAction typed(decoded ? std::move(decoded).value() : action);
  const crdt::Bytes actor = doc.actor_bytes();
  auto result = zarn_actions::executor::dispatch_by_with_context(
      state.registry, doc, typed, encoded, state.transport, actor, ctx);
  if (!result.has_value() && state.warn) {
    state.warn("warning: action dispatch failed: " + result.error().display_text() +
               "; action: " + encoded.json);
  }
  return result;
}

}  // namespace chat::actions
